#include "peertransport.h"

#include <QTcpSocket>
#include <QUdpSocket>

#include "network/connectioncore.h"
#include "network/masterlink.h"
#include "network/networklog.h"
#include "network/socketabstract.h"

ConnectionInfo& PeerTransport::openRecord(ConnectionState state) {
    ConnectionCore& c = core();
    const int connId = c.takeConnId();
    SocketAbstract* wrapper = nullptr;
    if (kind_ == Kind::Tcp) {
        wrapper = new SocketAbstract(connId, new QTcpSocket, &c);
    } else {
        wrapper = new SocketDatagram(connId, new QUdpSocket, &c);
    }
    wrapper->setFramingTimeout(c.timings().framingTimeoutMs);
    QObject::connect(wrapper, &SocketAbstract::gotConnection, &c,
                     &ConnectionCore::processConnected);
    QObject::connect(wrapper, &SocketAbstract::gotMessage, &c,
                     [this](int id, const QHostAddress&, int, const ConnectionMessage& message) {
                         processMessage(id, message);
                     });
    QObject::connect(wrapper, &SocketAbstract::gotError, &c,
                     [this](int id, QAbstractSocket::SocketError) { processSocketError(id); });
    ConnectionInfo& record = c.addRecord(ConnectionCore::Table::Pending, connId, state);
    record.socket = wrapper;
    return record;
}

int PeerTransport::acceptSocket(qintptr socketDescriptor, const Endpoint& relayedPeer) {
    ConnectionCore& c = core();
    ConnectionInfo& record = openRecord(ConnectionState::StateHandshake);
    const int connId = record.connId;
    record.accepted = true;
    c.startTimeout(record, c.timings().handshakeTimeoutMs);
    QAbstractSocket* socket = record.socket->socket();
    if (!socket->setSocketDescriptor(socketDescriptor, QAbstractSocket::ConnectedState,
                                     QIODevice::ReadWrite)) {
        // One stream that could not be taken: no error of the connection as a
        // whole, which the server would read as every client's.
        qCDebug(lcNetwork) << "accepted stream could not be set up:" << socket->errorString();
        c.removeConnection(connId);
        return -1;
    }
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    const bool relayed = !relayedPeer.address.isNull();
    record.address = relayed ? relayedPeer.address : socket->peerAddress();
    record.port = relayed ? relayedPeer.port : socket->peerPort();
    int handshakes = 0;
    for (int id : c.pendingIds()) {
        const ConnectionInfo* other = c.connection(id);
        handshakes += other->state == ConnectionState::StateHandshake &&
                      other->address.isEqual(record.address, QHostAddress::TolerantConversion);
    }
    if (handshakes > kMaxHandshakesPerAddress) {
        qCDebug(lcNetwork) << "too many handshakes from" << record.address << "- closed";
        c.removeConnection(connId);
        return -1;
    }
    return connId;
}

int PeerTransport::connectToHost(const QHostAddress& address, int port) {
    core().storeHello(-1, -1, -1, QString());  // no hello on this one
    return openConnection(ConnectionState::StateLobby, address, port);
}

int PeerTransport::connectWithHello(const QHostAddress& address, int port, int players, int hostKey,
                                    const QString& password, int requestedId) {
    core().storeHello(requestedId, players, hostKey, password);
    // The hello goes out once the socket reports it is connected.
    return openConnection(ConnectionState::StateHandshake, address, port);
}

int PeerTransport::openConnection(ConnectionState state, const QHostAddress& peer, int port) {
    // A mapped address would not fit a socket bound for IPv4.
    const QHostAddress address = Endpoint::plain(peer);
    ConnectionInfo& record = openRecord(state);
    QAbstractSocket* socket = record.socket->socket();
    // Datagram sockets always share their port: a probe and a datagram
    // connection of a punched way leave from the master link's port, where
    // the master server saw the joiner. A stream binds only for such a way:
    // bound, it could not connect again at once to a peer it just left.
    if (kind_ == Kind::Udp || localPort() > 0) {
        const auto share = QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint;
        const auto at = static_cast<quint16>(localPort());
        const bool v4 = address.protocol() == QAbstractSocket::IPv4Protocol;
        if (!socket->bind(QHostAddress(v4 ? QHostAddress::AnyIPv4 : QHostAddress::AnyIPv6), at,
                          share)) {
            qCDebug(lcNetwork) << "cannot leave from port" << at << ":" << socket->errorString();
        }
    }
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    socket->connectToHost(address, static_cast<quint16>(port), QIODevice::ReadWrite);
    return record.connId;
}

qint64 PeerTransport::deliver(ConnectionInfo& record, const ConnectionMessage& message) {
    if (record.socket == nullptr) {
        return 0;
    }
    if (isStream()) {
        return record.socket->sendMessage(QHostAddress(), -1, message);
    }
    return core().lossSimulation().routeOutgoing(
        message, [this, connId = record.connId, message]() -> qint64 {
            const ConnectionInfo* now = core().find(connId);
            return now && now->socket ? now->socket->sendMessage(QHostAddress(), -1, message) : 0;
        });
}

void PeerTransport::processMessage(int connId, const ConnectionMessage& message) {
    if (isStream()) {
        core().processContent(connId, message);
        return;
    }
    core().lossSimulation().routeIncoming(
        message, [this, connId, message] { core().processContent(connId, message); });
}

void PeerTransport::processSocketError(int connId) {
    ConnectionCore& c = core();
    const ConnectionInfo* record = c.find(connId);
    if (record == nullptr) {
        return;
    }
    qCDebug(lcNetwork) << "socket error on" << connId << record->address << record->port
                       << (record->socket ? record->socket->socket()->errorString() : QString());
    if (c.masterLink().giveUpQuery(connId)) {
        return;
    }
    const int clientId = record->clientId;
    switch (record->state) {
        case ConnectionState::StateClosing:
            Q_EMIT c.events().connectionClosed(clientId);
            break;
        case ConnectionState::StateNone:
        case ConnectionState::StateHandshake:
            // A stream that came to us and never finished its hello ends
            // alone: it has no client id, and -1 would speak for everyone.
            if (!record->accepted) {
                Q_EMIT c.events().errorOccured(clientId, ConnectionInterface::HostNotFound);
            }
            break;
        case ConnectionState::StateLobby:
        case ConnectionState::StateInGame:
            Q_EMIT c.events().errorOccured(clientId, ConnectionInterface::ConnectionLost);
            break;
    }
    c.removeConnection(connId);
}

void PeerTransport::release(ConnectionInfo& record) {
    if (record.socket != nullptr) {
        record.socket->retire(core().timings().disconnectTimeoutMs);
    }
}
