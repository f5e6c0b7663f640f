#include "connectionsocketabstract.h"

#include "network/networklog.h"

ConnectionSocketAbstract::ConnectionSocketAbstract(const QString& name, int maxPlayers,
                                                   bool singleplayer, bool stats, int pingInterval,
                                                   bool datagram, int hostKey, bool usePassword,
                                                   const QString& password, int timeout,
                                                   QObject* parent)
    : ConnectionAbstract(name, maxPlayers, singleplayer, stats, pingInterval, datagram, hostKey,
                         usePassword, password, timeout, parent) {}

ConnectionSocketAbstract::~ConnectionSocketAbstract() = default;

ConnectionInfo& ConnectionSocketAbstract::openRecord(ConnectionState state) {
    const int connId = takeConnId();
    QAbstractSocket* socket = createSocket();
    SocketAbstract* wrapper = socket->socketType() == QAbstractSocket::UdpSocket
                                  ? new SocketDatagram(connId, socket, this)
                                  : new SocketAbstract(connId, socket, this);
    wrapper->setFramingTimeout(timings().framingTimeoutMs);
    connect(wrapper, &SocketAbstract::gotConnection, this,
            &ConnectionSocketAbstract::processConnected);
    connect(wrapper, &SocketAbstract::gotMessage, this, &ConnectionSocketAbstract::processMessage);
    connect(wrapper, &SocketAbstract::gotError, this,
            &ConnectionSocketAbstract::processSocketError);
    ConnectionInfo& record = addRecord(Table::Pending, connId, state);
    record.socket = wrapper;
    return record;
}

int ConnectionSocketAbstract::acceptSocket(qintptr socketDescriptor) {
    ConnectionInfo& record = openRecord(ConnectionState::StateHandshake);
    const int connId = record.connId;
    record.accepted = true;
    startTimeout(record, timings().handshakeTimeoutMs);
    QAbstractSocket* socket = record.socket->socket();
    if (!socket->setSocketDescriptor(socketDescriptor, QAbstractSocket::ConnectedState,
                                     QIODevice::ReadWrite)) {
        // One stream that could not be taken: no error of the connection as a
        // whole, which the server would read as every client's.
        qCDebug(lcNetwork) << "accepted stream could not be set up:" << socket->errorString();
        removeConnection(connId);
        return -1;
    }
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    record.address = socket->peerAddress();
    record.port = socket->peerPort();
    int handshakes = 0;
    for (int id : pendingIds()) {
        const ConnectionInfo* other = connection(id);
        handshakes += other->state == ConnectionState::StateHandshake &&
                      other->address.isEqual(record.address, QHostAddress::TolerantConversion);
    }
    if (handshakes > kMaxHandshakesPerAddress) {
        qCDebug(lcNetwork) << "too many handshakes from" << record.address << "- closed";
        removeConnection(connId);
        return -1;
    }
    return connId;
}

int ConnectionSocketAbstract::connectToHost(const QHostAddress& address, int port) {
    storeHello(-1, -1, -1, QString());  // no hello on this one
    return openConnection(ConnectionState::StateLobby, address, port);
}

int ConnectionSocketAbstract::connectWithHello(const QHostAddress& address, int port, int players,
                                               int hostKey, const QString& password,
                                               int requestedId) {
    storeHello(requestedId, players, hostKey, password);
    // The hello goes out once the socket reports it is connected.
    return openConnection(ConnectionState::StateHandshake, address, port);
}

int ConnectionSocketAbstract::openConnection(ConnectionState state, const QHostAddress& address,
                                             int port) {
    ConnectionInfo& record = openRecord(state);
    QAbstractSocket* socket = record.socket->socket();
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    socket->connectToHost(address, static_cast<quint16>(port), QIODevice::ReadWrite);
    return record.connId;
}

qint64 ConnectionSocketAbstract::deliver(ConnectionInfo& record, const ConnectionMessage& message) {
    if (record.socket == nullptr) {
        return 0;
    }
    if (!isStreamTransport() && lossSimulation().takeOutgoing(message)) {
        return 0;
    }
    return record.socket->sendMessage(QHostAddress(), -1, message);
}

void ConnectionSocketAbstract::processMessage(int id, const QHostAddress&, int,
                                              const ConnectionMessage& message) {
    if (!isStreamTransport() && lossSimulation().takeIncoming(message)) {
        return;
    }
    processContent(id, message);
}

void ConnectionSocketAbstract::processSocketError(int connId, QAbstractSocket::SocketError) {
    const ConnectionInfo* record = find(connId);
    if (record == nullptr) {
        return;
    }
    if (finishQuery(connId)) {
        return;  // an unreachable listed server is left out without a word
    }
    const int clientId = record->clientId;
    switch (record->state) {
        case ConnectionState::StateClosing:
            Q_EMIT connectionClosed(clientId);
            break;
        case ConnectionState::StateNone:
        case ConnectionState::StateHandshake:
            // A stream that came to us and never finished its hello ends
            // alone: it has no client id, and -1 would speak for everyone.
            if (!record->accepted) {
                Q_EMIT errorOccured(clientId, HostNotFound);
            }
            break;
        case ConnectionState::StateLobby:
        case ConnectionState::StateInGame:
            Q_EMIT errorOccured(clientId, ConnectionLost);
            break;
    }
    removeConnection(connId);
}

void ConnectionSocketAbstract::releaseSocket(ConnectionInfo& record) {
    if (record.socket != nullptr) {
        record.socket->retire(timings().disconnectTimeoutMs);
    }
}
