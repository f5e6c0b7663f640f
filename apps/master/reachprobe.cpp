#include "reachprobe.h"

#include <QNetworkDatagram>
#include <QTcpSocket>

#include "masterregistry.h"
#include "network/connectionmessage.h"
#include "network/messagedecoder.h"
#include "network/payloadcodec.h"

namespace {

constexpr int kTickMs = 100;
constexpr int kQuestions = 3;  // spread over the time-out against loss

}  // namespace

ReachProbe::ReachProbe(int timeoutMs, QObject* parent) : QObject(parent), timeoutMs_(timeoutMs) {
    // Both families where the machine has both.
    if (!socket_.bind(QHostAddress(QHostAddress::Any), 0)) {
        socket_.bind(QHostAddress(QHostAddress::AnyIPv4), 0);
    }
    connect(&socket_, &QUdpSocket::readyRead, this, &ReachProbe::processDatagrams);
    clock_.start();
    tick_.setInterval(kTickMs);
    connect(&tick_, &QTimer::timeout, this, &ReachProbe::processTick);
}

ReachProbe::~ReachProbe() = default;

bool ReachProbe::probe(const QString& code, const QHostAddress& address, int port) {
    const QString key = MasterRegistry::key(address, port);
    if (socket_.state() != QAbstractSocket::BoundState ||
        (pending_.size() >= kMaxPending && !pending_.contains(key))) {
        return false;
    }
    Pending& p = pending_[key];
    p.code = code;
    if (p.tcp) {
        return true;  // already on its way
    }
    p.address = MasterRegistry::normalised(address);
    p.port = port;
    p.startMs = clock_.elapsed();
    p.tcp = std::make_unique<QTcpSocket>();
    connect(p.tcp.get(), &QTcpSocket::connected, this, [this, key] {
        const auto it = pending_.find(key);
        if (it != pending_.end()) {
            it->second.stream = true;
            it->second.tcp->abort();
        }
    });
    p.tcp->connectToHost(p.address, quint16(port));
    if (!tick_.isActive()) {
        tick_.start();
    }
    processTick();
    return true;
}

void ReachProbe::processTick() {
    QStringList done;
    for (auto& [key, p] : pending_) {
        const qint64 age = clock_.elapsed() - p.startMs;
        if ((p.stream && p.datagram) || age >= timeoutMs_) {
            done.append(key);
        } else if (!p.datagram && p.sent < kQuestions && age >= p.sent * timeoutMs_ / kQuestions) {
            ++p.sent;
            socket_.writeDatagram(
                ConnectionMessage(MessageCode::CIN, PayloadCodec::buildInfoRequest()).encode(),
                p.address, quint16(p.port));
        }
    }
    for (const QString& key : done) {
        finish(key);
    }
    if (pending_.empty()) {
        tick_.stop();
    }
}

void ReachProbe::processDatagrams() {
    while (socket_.hasPendingDatagrams()) {
        const QNetworkDatagram d = socket_.receiveDatagram();
        const auto it = pending_.find(MasterRegistry::key(d.senderAddress(), d.senderPort()));
        if (it == pending_.end()) {
            continue;
        }
        QList<ConnectionMessage> messages;
        MessageDecoder(MessageDecoder::Mode::Datagram).feed(d.data(), messages);
        for (const ConnectionMessage& m : messages) {
            if (m.code() == int(MessageCode::SIN) && PayloadCodec::parseServerInfo(m.content)) {
                it->second.datagram = true;
            }
        }
    }
}

void ReachProbe::finish(const QString& key) {
    const auto it = pending_.find(key);
    if (it == pending_.end()) {
        return;
    }
    const QString code = it->second.code;
    const QHostAddress address = it->second.address;
    const bool stream = it->second.stream;
    const bool datagram = it->second.datagram;
    it->second.tcp->abort();
    pending_.erase(it);
    Q_EMIT finished(code, address, stream, datagram);
}
