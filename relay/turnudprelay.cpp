#include "turnudprelay.h"

#include <QNetworkDatagram>

TurnUdpRelay::TurnUdpRelay(const TurnTimings& timings, QObject* parent)
    : TurnSession(17, timings, parent) {
    connect(&socket_, &QUdpSocket::readyRead, this, &TurnUdpRelay::processReadyRead);
    keepAlive_.setInterval(timings_.keepAliveMs);
    connect(&keepAlive_, &QTimer::timeout, this, [this] {
        write(StunMessage::make(StunMessage::Binding, StunMessage::Indication).encode());
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
    StunMessage m = StunMessage::make(StunMessage::Send, StunMessage::Indication);
    m.addAddress(StunMessage::XorPeerAddress, peer, port);
    m.add(StunMessage::DataValue, data);
    const QByteArray bytes = m.encode();
    bytesOut_ += bytes.size();
    write(bytes);
}

void TurnUdpRelay::processReadyRead() {
    while (socket_.hasPendingDatagrams()) {
        const QNetworkDatagram d = socket_.receiveDatagram();
        if (!d.senderAddress().isEqual(server_) || d.senderPort() != serverPort_) {
            continue;  // only the relay speaks to this socket
        }
        bytesIn_ += d.data().size();
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
