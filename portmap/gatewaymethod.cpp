#include "gatewaymethod.h"

#include <QLoggingCategory>
#include <QNetworkDatagram>

Q_LOGGING_CATEGORY(lcGateway, "quadrell.portmap.gateway", QtWarningMsg)

namespace {

// The longest answer either protocol sends, options included.
constexpr qint64 kMaxDatagram = 1100;

QHostAddress addressTowards(const QHostAddress& gateway, quint16 port) {
    // Connecting a datagram socket sends nothing; it only picks the route.
    QUdpSocket probe;
    probe.connectToHost(gateway, port);
    probe.waitForConnected(0);
    return probe.localAddress();
}

}  // namespace

GatewayMethod::GatewayMethod(const QHostAddress& gateway, quint16 port, const QByteArray& nonce,
                             const PortMapTimings& timings, QObject* parent)
    : PortMapMethod(parent), gateway_(gateway), port_(port), nonce_(nonce), timings_(timings) {
    socket_.bind(QHostAddress(QHostAddress::AnyIPv4), 0);
    connect(&socket_, &QUdpSocket::readyRead, this, &GatewayMethod::processDatagrams);
    resend_.setSingleShot(true);
    connect(&resend_, &QTimer::timeout, this, &GatewayMethod::processSilence);
}

GatewayMethod::~GatewayMethod() {
    for (const auto& [key, external] : held_) {
        Job job{Job::Kind::Release, {key.first, key.second, external, 0}};
        socket_.writeDatagram(datagram(job), gateway_, port_);
    }
}

QString GatewayMethod::name() const {
    return natPmp_ ? QStringLiteral("NAT-PMP") : QStringLiteral("PCP");
}

void GatewayMethod::request(const MapRequest& request) {
    jobs_.push_back({Job::Kind::Map, request});
    if (jobs_.size() == 1 && !dispatching_) {
        startNext();
    }
}

void GatewayMethod::release(MapProtocol protocol, int internalPort, int externalPort) {
    held_.erase({protocol, internalPort});
    jobs_.push_back({Job::Kind::Release, {protocol, internalPort, externalPort, 0}});
    if (jobs_.size() == 1 && !dispatching_) {
        startNext();
    }
}

void GatewayMethod::startNext() {
    if (jobs_.empty()) {
        Q_EMIT idle();
        return;
    }
    if (natPmp_ && publicAddress_.isNull() && jobs_.front().kind == Job::Kind::Map) {
        jobs_.push_front({Job::Kind::Address, {}});
    }
    sends_ = 0;
    pauseMs_ = timings_.gatewayFirstResendMs;
    send();
}

QByteArray GatewayMethod::datagram(const Job& job) {
    if (job.kind == Job::Kind::Address) {
        return GatewayMessage::natPmpAddress();
    }
    MapRequest r = job.request;
    if (natPmp_) {
        if (job.kind == Job::Kind::Release) {
            r.externalPort = 0;  // NAT-PMP removes with both zero
        }
        return GatewayMessage::natPmpMap(r);
    }
    if (client_.isNull()) {
        client_ = addressTowards(gateway_, port_);
    }
    return GatewayMessage::pcpMap(nonce_, client_, r);
}

void GatewayMethod::send() {
    ++sends_;
    socket_.writeDatagram(datagram(jobs_.front()), gateway_, port_);
    resend_.start(pauseMs_);
    pauseMs_ *= 2;
}

void GatewayMethod::processSilence() {
    if (jobs_.empty()) {
        return;
    }
    if (sends_ < timings_.gatewaySends) {
        send();
        return;
    }
    qCDebug(lcGateway) << "no answer from" << gateway_ << "after" << sends_ << "sends";
    if (jobs_.front().kind != Job::Kind::Map) {
        finishJob(nullptr);
        return;
    }
    MapAnswer refused;
    refused.protocol = jobs_.front().request.protocol;
    refused.reason = QStringLiteral("no answer from the router %1").arg(gateway_.toString());
    finishJob(&refused);
}

void GatewayMethod::processDatagrams() {
    while (socket_.hasPendingDatagrams()) {
        const QNetworkDatagram d = socket_.receiveDatagram(kMaxDatagram);
        if (jobs_.empty() || d.senderPort() != port_ ||
            !d.senderAddress().isEqual(gateway_, QHostAddress::TolerantConversion)) {
            continue;
        }
        if (const auto answer = GatewayMessage::parse(d.data())) {
            processAnswer(*answer);
        }
    }
}

bool GatewayMethod::matches(const GatewayMessage::Answer& a, const Job& job) const {
    using Kind = GatewayMessage::Answer::Kind;
    if (job.kind == Job::Kind::Address) {
        return a.kind == Kind::NatPmpAddress;
    }
    const bool sameMapping =
        a.protocol == job.request.protocol && a.internalPort == job.request.internalPort;
    return sameMapping &&
           (natPmp_ ? a.kind == Kind::NatPmpMap : a.kind == Kind::PcpMap && a.nonce == nonce_);
}

void GatewayMethod::processAnswer(const GatewayMessage::Answer& a) {
    if (a.kind == GatewayMessage::Answer::Kind::UnsupportedVersion) {
        if (!natPmp_) {
            qCDebug(lcGateway) << gateway_ << "speaks NAT-PMP only";
            natPmp_ = true;
            resend_.stop();
            startNext();
        }
        return;
    }
    const Job& job = jobs_.front();
    if (!matches(a, job)) {
        return;
    }
    if (job.kind == Job::Kind::Address) {
        if (a.result == 0) {
            publicAddress_ = a.externalAddress;
        }
        finishJob(nullptr);
        return;
    }
    if (job.kind == Job::Kind::Release) {
        finishJob(nullptr);
        return;
    }
    MapAnswer out;
    out.protocol = a.protocol;
    out.granted = a.result == 0;
    if (out.granted) {
        out.externalPort = a.externalPort;
        out.lifetimeSeconds = a.lifetimeSeconds;
        out.publicAddress = natPmp_ ? publicAddress_ : a.externalAddress;
        held_[{a.protocol, a.internalPort}] = a.externalPort;
    } else {
        out.portTaken = !natPmp_ && a.result == GatewayMessage::kPcpCannotProvideExternal;
        out.reason = QStringLiteral("%1 result %2").arg(name()).arg(a.result);
    }
    finishJob(&out);
}

void GatewayMethod::finishJob(const MapAnswer* answer) {
    resend_.stop();
    jobs_.pop_front();
    if (answer) {
        // What the receiver asks for now waits until this job is off the queue.
        dispatching_ = true;
        Q_EMIT answered(*answer);
        dispatching_ = false;
    }
    startNext();
}
