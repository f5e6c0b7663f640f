#include "portmapper.h"

#include <QFile>
#include <QLoggingCategory>
#include <QRandomGenerator>

#include "portmap/gatewaymethod.h"
#include "portmap/upnpmethod.h"

Q_LOGGING_CATEGORY(lcPortMap, "quadrell.portmap", QtWarningMsg)

namespace {

// External ports one way of asking may try before it is passed over.
constexpr int kPortAttempts = 4;
constexpr int kDynamicPortsFrom = 49152;

}  // namespace

PortMapper::PortMapper(int localPort, std::vector<MethodFactory> methods,
                       const PortMapTimings& timings, PortSource randomPort, QObject* parent)
    : QObject(parent),
      localPort_(localPort),
      factories_(std::move(methods)),
      timings_(timings),
      randomPort_(std::move(randomPort)) {
    mapping_.localPort = localPort;
    for (QTimer* t : {&deadline_, &renewal_, &releaseDeadline_}) {
        t->setSingleShot(true);
    }
    connect(&deadline_, &QTimer::timeout, this,
            [this] { passOver(QStringLiteral("no answer in time")); });
    connect(&renewal_, &QTimer::timeout, this, &PortMapper::renew);
    connect(&releaseDeadline_, &QTimer::timeout, this, &PortMapper::finishStop);
}

PortMapper::~PortMapper() {
    // The methods give back what they hold as they go; nothing may call back.
    if (current_) {
        disconnect(current_.get(), nullptr, this, nullptr);
    }
    for (const auto& m : retired_) {
        disconnect(m.get(), nullptr, this, nullptr);
    }
}

std::vector<PortMapper::MethodFactory> PortMapper::systemMethods(const PortMapTimings& timings) {
    return {
        [timings] { return std::make_unique<UpnpMethod>(timings); },
        [timings] {
            QFile routes(QStringLiteral("/proc/net/route"));
            const QByteArray table =
                routes.open(QIODevice::ReadOnly) ? routes.readAll() : QByteArray();
            QByteArray nonce(GatewayMessage::kNonceSize, '\0');
            QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(nonce.data()),
                                                  GatewayMessage::kNonceSize / 4);
            return std::make_unique<GatewayMethod>(GatewayMessage::defaultGateway(table),
                                                   GatewayMessage::kPort, nonce, timings);
        },
    };
}

int PortMapper::drawPort() {
    return QRandomGenerator::system()->bounded(kDynamicPortsFrom, 65536);
}

void PortMapper::start() {
    if (current_ || stopping_) {
        return;
    }
    next_ = 0;
    publish({PortMapping::State::Pending, {}, {}, localPort_, -1});
    tryNextMethod();
}

void PortMapper::tryNextMethod() {
    if (next_ >= factories_.size()) {
        deadline_.stop();
        publish({PortMapping::State::Refused, {}, {}, localPort_, -1});
        return;
    }
    current_ = factories_[next_++]();
    PortMapMethod* m = current_.get();
    connect(m, &PortMapMethod::answered, this,
            [this, m](const MapAnswer& a) { processAnswer(m, a); });
    connect(m, &PortMapMethod::idle, this, [this, m] { processIdle(m); });
    attempts_ = 0;
    tcpPort_ = udpPort_ = -1;
    publicAddress_ = QHostAddress();
    deadline_.start(timings_.methodTimeoutMs);
    askPair(localPort_);
}

void PortMapper::askPair(int externalPort) {
    ++attempts_;
    ask(MapProtocol::Tcp, externalPort);
}

void PortMapper::ask(MapProtocol protocol, int externalPort) {
    current_->request({protocol, localPort_, externalPort, timings_.leaseSeconds});
}

void PortMapper::processAnswer(PortMapMethod* method, const MapAnswer& a) {
    if (method != current_.get()) {
        // Passed over, but the router said yes after all: give it back.
        if (a.granted) {
            method->release(a.protocol, localPort_, a.externalPort);
        }
        return;
    }
    if (a.granted) {
        processGranted(a);
    } else if (a.portTaken) {
        retry(randomPort_(), a.reason);
    } else {
        passOver(a.reason);
    }
}

void PortMapper::processGranted(const MapAnswer& a) {
    if (!a.publicAddress.isNull()) {
        publicAddress_ = a.publicAddress;
    }
    if (a.protocol == MapProtocol::Tcp) {
        tcpPort_ = a.externalPort;
        lifetimeSeconds_ = a.lifetimeSeconds;
        ask(MapProtocol::Udp, tcpPort_);
        return;
    }
    udpPort_ = a.externalPort;
    if (lifetimeSeconds_ == 0 || (a.lifetimeSeconds > 0 && a.lifetimeSeconds < lifetimeSeconds_)) {
        lifetimeSeconds_ = a.lifetimeSeconds;
    }
    if (udpPort_ != tcpPort_) {
        retry(udpPort_, QStringLiteral("TCP and UDP got different ports"));
        return;
    }
    deadline_.stop();
    publish({PortMapping::State::Open, current_->name(), publicAddress_, localPort_, tcpPort_});
    renewal_.start(lifetimeSeconds_ > 0 ? lifetimeSeconds_ * 500 : timings_.permanentRenewMs);
}

void PortMapper::retry(int externalPort, const QString& reason) {
    qCDebug(lcPortMap) << current_->name() << "port" << externalPort << "next:" << reason;
    releaseHeld();
    if (attempts_ >= kPortAttempts) {
        passOver(reason);
        return;
    }
    askPair(externalPort);
}

void PortMapper::passOver(const QString& reason) {
    qCDebug(lcPortMap) << current_->name() << "passed over:" << reason;
    releaseHeld();
    renewal_.stop();
    if (mapping_.state == PortMapping::State::Open) {
        next_ = 0;  // a renewal failed: start over with the first way
    }
    retire(std::move(current_));
    tryNextMethod();
}

void PortMapper::releaseHeld() {
    if (tcpPort_ >= 0) {
        current_->release(MapProtocol::Tcp, localPort_, tcpPort_);
    }
    if (udpPort_ >= 0) {
        current_->release(MapProtocol::Udp, localPort_, udpPort_);
    }
    tcpPort_ = udpPort_ = -1;
}

void PortMapper::retire(std::unique_ptr<PortMapMethod> method) {
    PortMapMethod* m = method.get();
    retired_.push_back(std::move(method));
    if (!m->busy()) {
        processIdle(m);
    }
}

void PortMapper::processIdle(PortMapMethod* method) {
    // Not inside the method's own signal: it goes on the next turn of the loop.
    QMetaObject::invokeMethod(
        this,
        [this, method] {
            std::erase_if(retired_, [method](const std::unique_ptr<PortMapMethod>& m) {
                return m.get() == method && !m->busy();
            });
            if (stopping_ && retired_.empty()) {
                finishStop();
            }
        },
        Qt::QueuedConnection);
}

void PortMapper::renew() {
    attempts_ = 0;
    deadline_.start(timings_.methodTimeoutMs);
    askPair(tcpPort_);
}

void PortMapper::publish(const PortMapping& mapping) {
    if (mapping == mapping_) {
        return;
    }
    mapping_ = mapping;
    qCDebug(lcPortMap) << "port" << localPort_ << "state" << int(mapping.state)
                       << mapping.publicEndpoint() << mapping.method;
    Q_EMIT changed(mapping_);
}

void PortMapper::stop() {
    if (stopping_) {
        return;
    }
    stopping_ = true;
    deadline_.stop();
    renewal_.stop();
    if (current_) {
        releaseHeld();
        retire(std::move(current_));
    }
    if (retired_.empty()) {
        QMetaObject::invokeMethod(this, &PortMapper::finishStop, Qt::QueuedConnection);
    }
    releaseDeadline_.start(timings_.releaseTimeoutMs);
}

void PortMapper::finishStop() {
    if (!stopping_ || stopped_) {
        return;
    }
    stopped_ = true;
    releaseDeadline_.stop();
    Q_EMIT stopped();
}
