#include "connectionudp.h"

#include <memory>

#include "network/networklog.h"

ConnectionUdp::ConnectionUdp(const QString& name, int maxPlayers, bool singleplayer, bool stats,
                             int pingInterval, bool datagram, int hostKey, bool usePassword,
                             const QString& password, int timeout, QUdpSocket* socket,
                             QObject* parent)
    : ConnectionAbstract(name, maxPlayers, singleplayer, stats, pingInterval, datagram, hostKey,
                         usePassword, password, timeout, parent) {
    adopt(socket);
}

ConnectionUdp::~ConnectionUdp() = default;

void ConnectionUdp::adopt(QUdpSocket* socket) {
    if (wrapper_ != nullptr) {
        wrapper_->retire(0);
    }
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    wrapper_ = new SocketDatagram(0, socket, this);
    wrapper_->setShared(true);
    connect(wrapper_, &SocketAbstract::gotConnection, this, &ConnectionUdp::processConnected);
    connect(wrapper_, &SocketAbstract::gotMessage, this, &ConnectionUdp::processMessage);
    connect(wrapper_, &SocketAbstract::gotError, this, &ConnectionUdp::processSocketError);
    // Closing the shared socket ends every datagram connection, as an error would.
    connect(socket, &QAbstractSocket::stateChanged, this,
            [this, socket](QAbstractSocket::SocketState state) {
                if (state == QAbstractSocket::UnconnectedState && wrapper_ != nullptr &&
                    wrapper_->socket() == socket) {
                    QMetaObject::invokeMethod(
                        this, [this] { processSocketError(0, QAbstractSocket::NetworkError); },
                        Qt::QueuedConnection);
                }
            });
}

int ConnectionUdp::acceptSocket(qintptr socketDescriptor) {
    auto socket = std::make_unique<QUdpSocket>();
    if (!socket->setSocketDescriptor(socketDescriptor, QAbstractSocket::ConnectedState,
                                     QIODevice::ReadWrite)) {
        Q_EMIT errorOccured(-1, InitError);
        return -1;
    }
    adopt(socket.release());
    return -1;
}

int ConnectionUdp::connIdOf(const QHostAddress& address, int port) const {
    for (int id : establishedIds() + pendingIds()) {
        const ConnectionInfo* record = find(id);
        if (record != nullptr && record->port == port && record->address == address) {
            return id;
        }
    }
    return -1;
}

int ConnectionUdp::addPeer(const QHostAddress& address, int port) {
    const int connId = takeConnId();
    ConnectionInfo& record = addRecord(Table::Pending, connId, ConnectionState::StateHandshake);
    record.address = address;
    record.port = port;
    startTimeout(record, timings().handshakeTimeoutMs);
    return connId;
}

int ConnectionUdp::connectToHost(const QHostAddress& address, int port) {
    const int connId = addPeer(address, port);
    sendHello(true, connId, -1, -1, -1, QString());
    return connId;
}

int ConnectionUdp::connectWithHello(const QHostAddress& address, int port, int players, int hostKey,
                                    const QString& password, int requestedId) {
    storeHello(requestedId, players, hostKey, password);
    const int connId = addPeer(address, port);
    sendHello(true, connId, requestedId, players, hostKey, password);
    return connId;
}

qint64 ConnectionUdp::deliver(ConnectionInfo& record, const ConnectionMessage& message) {
    if (lossSimulation().takeOutgoing(message)) {
        return 0;
    }
    return wrapper_->sendMessage(record.address, record.port, message);
}

void ConnectionUdp::processMessage(int, const QHostAddress& address, int port,
                                   const ConnectionMessage& message) {
    if (lossSimulation().takeIncoming(message)) {
        return;
    }
    int connId = connIdOf(address, port);
    if (connId < 0) {
        // Only a hello or an info request may open a record; anything else
        // from a stranger would only cost memory until its time-out.
        const int code = message.code();
        if (code != static_cast<int>(MessageCode::CHI) &&
            code != static_cast<int>(MessageCode::CIN)) {
            qCDebug(lcNetwork) << "dropped" << message.type << "from unknown peer" << address
                               << port;
            return;
        }
        if (!strangers_) {
            strangers_ =
                std::make_unique<RateLimiter>(timings().strangerBurst, timings().strangerRefillMs);
        }
        if (!strangers_->allow(address, nowMs())) {
            qCDebug(lcNetwork) << "unknown peer" << address << "over its rate:" << message.type;
            return;
        }
        connId = addPeer(address, port);
        if (ConnectionInfo* record = findInTable(Table::Pending, connId)) {
            record->accepted = true;
        }
    }
    processContent(connId, message);
}

void ConnectionUdp::processSocketError(int, QAbstractSocket::SocketError error) {
    qCDebug(lcNetwork) << "shared datagram socket failed:" << error;
    Q_EMIT errorOccured(-1, ConnectionLost);
    clearConnections();
}
