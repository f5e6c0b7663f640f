#include "turnudprelay.h"

#include <QNetworkDatagram>

TurnUdpRelay::TurnUdpRelay(const TurnTimings& timings, QObject* parent)
    : TurnSession(17, timings, parent) {
    connect(&socket_, &QUdpSocket::readyRead, this, &TurnUdpRelay::processReadyRead);
    keepAlive_.setInterval(timings_.keepAliveMs);
    connect(&keepAlive_, &QTimer::timeout, this, [this] {
        write(StunMessage::make(StunMessage::Binding, StunMessage::Indication).encode());
    });
    channelRefresh_.setInterval(timings_.permissionRefreshMs);
    connect(&channelRefresh_, &QTimer::timeout, this, [this] {
        for (auto c = channels_.cbegin(); c != channels_.cend(); ++c) {
            if (c->bound) {
                bindChannel(c.key(), c->peer, c->port);
            }
        }
    });
}

void TurnUdpRelay::bindChannel(const QString& key, const QHostAddress& peer, quint16 port) {
    auto c = channels_.find(key);
    if (c == channels_.end()) {
        if (channels_.size() >= kMaxChannels) {
            return;
        }
        const auto number = static_cast<quint16>(0x4000 + channels_.size());
        c = channels_.insert(key, {number, peer, port, false});
        channelPeers_.insert(number, key);
    }
    StunMessage m = StunMessage::make(StunMessage::ChannelBind, StunMessage::Request);
    m.addNumber(StunMessage::ChannelNumber, quint32(c->number) << 16);
    m.addAddress(StunMessage::XorPeerAddress, peer, port);
    request(
        m,
        [this, key](const StunMessage&) {
            if (auto bound = channels_.find(key); bound != channels_.end()) {
                bound->bound = true;
                channelRefresh_.start();
            }
        },
        [this, key](const StunMessage&) {
            // Refused: this peer stays with Send indications.
            if (auto refused = channels_.find(key); refused != channels_.end()) {
                refused->bound = false;
            }
        });
}

void TurnUdpRelay::open(const QHostAddress& address, quint16) {
    // Not connected: on a connected socket one ICMP error (the relay not up
    // yet) would stop it reading for good.
    if (!socket_.bind(address.protocol() == QAbstractSocket::IPv6Protocol ? QHostAddress::AnyIPv6
                                                                          : QHostAddress::AnyIPv4,
                      0)) {
        fail(QStringLiteral("no socket for the relay: ") + socket_.errorString());
        return;
    }
    keepAlive_.start();
    opened();
}

void TurnUdpRelay::write(const QByteArray& bytes) {
    socket_.writeDatagram(bytes, server_, serverPort_);
}

void TurnUdpRelay::send(const QHostAddress& peer, quint16 port, const QByteArray& data) {
    if (!isAllocated()) {
        return;
    }
    const QString key = peer.toString() + u' ' + QString::number(port);
    const auto c = channels_.constFind(key);
    QByteArray bytes;
    if (c != channels_.cend() && c->bound && data.size() <= 0xffff) {
        bytes.reserve(4 + data.size());
        bytes.append(static_cast<char>(c->number >> 8));
        bytes.append(static_cast<char>(c->number & 0xff));
        bytes.append(static_cast<char>(data.size() >> 8));
        bytes.append(static_cast<char>(data.size() & 0xff));
        bytes.append(data);
    } else {
        StunMessage m = StunMessage::make(StunMessage::Send, StunMessage::Indication);
        m.addAddress(StunMessage::XorPeerAddress, peer, port);
        m.add(StunMessage::DataValue, data);
        bytes = m.encode();
        if (c == channels_.cend()) {
            bindChannel(key, peer, port);
        }
    }
    bytesOut_ += bytes.size();
    write(bytes);
}

bool TurnUdpRelay::receiveChannelData(const QByteArray& datagram) {
    // ChannelData begins with the channel number, 0x4000 to 0x7FFF; STUN
    // messages with two zero bits.
    if (datagram.size() < 4 || (static_cast<uchar>(datagram[0]) & 0xC0) != 0x40) {
        return false;
    }
    const auto number = static_cast<quint16>((static_cast<uchar>(datagram[0]) << 8) |
                                             static_cast<uchar>(datagram[1]));
    const int length = (static_cast<uchar>(datagram[2]) << 8) | static_cast<uchar>(datagram[3]);
    const auto key = channelPeers_.constFind(number);
    if (length <= datagram.size() - 4 && key != channelPeers_.cend()) {
        const Channel c = channels_.value(*key);
        Q_EMIT received(c.peer, c.port, datagram.mid(4, length));
    }
    return true;
}

void TurnUdpRelay::processReadyRead() {
    while (socket_.hasPendingDatagrams()) {
        const QNetworkDatagram d = socket_.receiveDatagram();
        if (!d.senderAddress().isEqual(server_) || d.senderPort() != serverPort_) {
            continue;  // only the relay speaks to this socket
        }
        bytesIn_ += d.data().size();
        if (receiveChannelData(d.data())) {
            continue;
        }
        if (const std::optional<StunMessage> m = StunMessage::parse(d.data())) {
            receive(*m);
        }
    }
}

void TurnUdpRelay::indication(const StunMessage& message) {
    if (message.method != StunMessage::Data) {
        return;
    }
    const auto peer = message.address(StunMessage::XorPeerAddress);
    const std::optional<QByteArray> data = message.value(StunMessage::DataValue);
    if (peer && data) {
        Q_EMIT received(peer->first, peer->second, *data);
    }
}
