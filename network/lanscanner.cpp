#include "lanscanner.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QUdpSocket>
#include <algorithm>

#include "game/appinfo.h"
#include "network/connectionmessage.h"
#include "network/messagedecoder.h"
#include "network/networklog.h"
#include "network/payloadcodec.h"
#include "network/serverclaims.h"

QList<QHostAddress> broadcastAddresses(const QList<LanInterface>& interfaces) {
    QList<QHostAddress> out;
    for (const LanInterface& i : interfaces) {
        if (!i.up || i.loopback || !i.canBroadcast) {
            continue;
        }
        for (const QHostAddress& b : i.broadcasts) {
            if (b.protocol() == QAbstractSocket::IPv4Protocol && !out.contains(b)) {
                out.append(b);
            }
        }
    }
    return out;
}

QList<LanInterface> systemInterfaces() {
    QList<LanInterface> out;
    for (const QNetworkInterface& n : QNetworkInterface::allInterfaces()) {
        const auto flags = n.flags();
        LanInterface i{.up = flags.testFlag(QNetworkInterface::IsUp),
                       .loopback = flags.testFlag(QNetworkInterface::IsLoopBack),
                       .canBroadcast = flags.testFlag(QNetworkInterface::CanBroadcast),
                       .broadcasts = {}};
        for (const QNetworkAddressEntry& e : n.addressEntries()) {
            if (!e.broadcast().isNull()) {
                i.broadcasts.append(e.broadcast());
            }
        }
        out.append(i);
    }
    return out;
}

LanScanner::LanScanner(QObject* parent)
    : QObject(parent),
      targets_([] { return broadcastAddresses(systemInterfaces()); }),
      clock_([timer = std::make_shared<QElapsedTimer>()] {
          if (!timer->isValid()) {
              timer->start();
          }
          return timer->elapsed();
      }),
      ports_{Quadrell::kDiscoveryPort, Quadrell::kDefaultGamePort} {}

LanScanner::~LanScanner() = default;

void LanScanner::setPorts(const QList<int>& ports) {
    ports_.clear();
    for (int port : ports) {
        addPort(port);
    }
}

void LanScanner::addPort(int port) {
    if (port > 0 && port <= 65535 && !ports_.contains(port) && ports_.size() < kMaxPorts) {
        ports_.append(port);
    }
}

bool LanScanner::open() {
    if (socket_) {
        return true;
    }
    auto socket = std::make_unique<QUdpSocket>();
    if (!socket->bind(QHostAddress(QHostAddress::AnyIPv4), 0)) {
        qCDebug(lcNetwork) << "no socket to ask the local networks:" << socket->errorString();
        return false;
    }
    connect(socket.get(), &QUdpSocket::readyRead, this, &LanScanner::processReadyRead);
    socket_ = std::move(socket);
    return true;
}

void LanScanner::scan() {
    lastRoundBytes_ = 0;
    heard_.clear();
    if (!open()) {
        return;
    }
    roundStartMs_ = clock_();
    const QByteArray question =
        ConnectionMessage(MessageCode::CIN, QLatin1String(PayloadCodec::kInfoRequest)).encode();
    for (const QHostAddress& target : targets_()) {
        for (int port : ports_) {
            const qint64 sent = socket_->writeDatagram(question, target, quint16(port));
            lastRoundBytes_ += std::max<qint64>(0, sent);
        }
    }
}

void LanScanner::processReadyRead() {
    while (socket_->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket_->receiveDatagram();
        QList<ConnectionMessage> messages;
        MessageDecoder(MessageDecoder::Mode::Datagram).feed(datagram.data(), messages);
        const QHostAddress from = datagram.senderAddress();
        const int port = datagram.senderPort();
        for (const ConnectionMessage& message : messages) {
            if (message.code() != int(MessageCode::SIN)) {
                continue;
            }
            const QString key = from.toString() + u':' + QString::number(port);
            if (port <= 0 || heard_.contains(key)) {
                continue;
            }
            std::optional<ServerData> server = ServerClaims::describedServer(
                message.content, from.toString(), port, clock_() - roundStartMs_);
            if (!server) {
                continue;
            }
            heard_.insert(key);
            server->setLan(true);
            Q_EMIT found(*server);
        }
    }
}
