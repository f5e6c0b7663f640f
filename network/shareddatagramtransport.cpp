#include "shareddatagramtransport.h"

#include "network/connectioncore.h"
#include "network/networklog.h"
#include "network/socketabstract.h"

DatagramDetour::~DatagramDetour() = default;

SharedDatagramTransport::SharedDatagramTransport(QUdpSocket* socket,
                                                 std::unique_ptr<QUdpSocket> discovery)
    : waiting_(socket), discovery_(std::move(discovery)) {}

SharedDatagramTransport::~SharedDatagramTransport() = default;

void SharedDatagramTransport::attached() {
    adopt(waiting_.release());
    if (discovery_) {
        hearQuestions(discovery_.release());
    }
}

void SharedDatagramTransport::adopt(QUdpSocket* socket) {
    ConnectionCore& c = core();
    if (wrapper_ != nullptr) {
        wrapper_->retire(0);
    }
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    wrapper_ = new SocketDatagram(0, socket, &c);
    wrapper_->setShared(true);
    QObject::connect(wrapper_, &SocketAbstract::gotConnection, &c,
                     &ConnectionCore::processConnected);
    QObject::connect(
        wrapper_, &SocketAbstract::gotMessage, &c,
        [this](int, const QHostAddress& address, int port, const ConnectionMessage& message) {
            processMessage(address, port, message);
        });
    QObject::connect(wrapper_, &SocketAbstract::gotError, &c,
                     [this](int, QAbstractSocket::SocketError error) {
                         qCDebug(lcNetwork) << "shared datagram socket failed:" << error;
                         processSocketError();
                     });
    // Closing the shared socket ends every datagram connection, as an error would.
    QObject::connect(socket, &QAbstractSocket::stateChanged, &c,
                     [this, socket, &c](QAbstractSocket::SocketState state) {
                         if (state == QAbstractSocket::UnconnectedState && wrapper_ != nullptr &&
                             wrapper_->socket() == socket) {
                             QMetaObject::invokeMethod(
                                 &c, [this] { processSocketError(); }, Qt::QueuedConnection);
                         }
                     });
}

void SharedDatagramTransport::hearQuestions(QUdpSocket* socket) {
    ConnectionCore& c = core();
    auto* wrapper = new SocketDatagram(0, socket, &c);
    wrapper->setShared(true);
    QObject::connect(
        wrapper, &SocketAbstract::gotMessage, &c,
        [this](int, const QHostAddress& address, int port, const ConnectionMessage& message) {
            if (message.code() == static_cast<int>(MessageCode::CIN)) {
                processMessage(address, port, message);
            }
        });
    // Losing the LAN question ends no connection.
    QObject::connect(wrapper, &SocketAbstract::gotError, &c,
                     [](int, QAbstractSocket::SocketError error) {
                         qCDebug(lcNetwork) << "discovery socket failed:" << error;
                     });
}

int SharedDatagramTransport::acceptSocket(qintptr socketDescriptor, const Endpoint&) {
    auto socket = std::make_unique<QUdpSocket>();
    if (!socket->setSocketDescriptor(socketDescriptor, QAbstractSocket::ConnectedState,
                                     QIODevice::ReadWrite)) {
        Q_EMIT core().events().errorOccured(-1, ConnectionInterface::InitError);
        return -1;
    }
    adopt(socket.release());
    return -1;
}

int SharedDatagramTransport::connIdOf(const QHostAddress& address, int port) const {
    const ConnectionCore& c = core();
    for (int id : c.establishedIds() + c.pendingIds()) {
        const ConnectionInfo* record = c.connection(id);
        if (record != nullptr && record->port == port && record->address == address) {
            return id;
        }
    }
    return -1;
}

int SharedDatagramTransport::addPeer(const QHostAddress& address, int port) {
    ConnectionCore& c = core();
    const int connId = c.takeConnId();
    ConnectionInfo& record =
        c.addRecord(ConnectionCore::Table::Pending, connId, ConnectionState::StateHandshake);
    record.address = address;
    record.port = port;
    c.startTimeout(record, c.timings().handshakeTimeoutMs);
    return connId;
}

qint64 SharedDatagramTransport::deliver(ConnectionInfo& record, const ConnectionMessage& message) {
    if (detour_ != nullptr && detour_->carries(record.address, record.port)) {
        return core().lossSimulation().routeOutgoing(
            message, [this, address = record.address, port = record.port, message]() -> qint64 {
                if (detour_ == nullptr) {
                    return 0;
                }
                const QByteArray packet = message.encode();
                detour_->send(address, port, packet);
                return packet.size();
            });
    }
    if (wrapper_ == nullptr) {
        return 0;
    }
    return core().lossSimulation().routeOutgoing(
        message, [this, address = record.address, port = record.port, message]() -> qint64 {
            return wrapper_ != nullptr ? wrapper_->sendMessage(address, port, message) : 0;
        });
}

void SharedDatagramTransport::arriveByDetour(const QHostAddress& address, int port,
                                             const QByteArray& packet) {
    QList<ConnectionMessage> messages;
    detourDecoder_.feed(packet, messages);
    for (const ConnectionMessage& m : messages) {
        processMessage(address, port, m);
    }
}

void SharedDatagramTransport::processMessage(const QHostAddress& address, int port,
                                             const ConnectionMessage& message) {
    core().lossSimulation().routeIncoming(
        message, [this, address, port, message] { processArrival(address, port, message); });
}

void SharedDatagramTransport::processArrival(const QHostAddress& address, int port,
                                             const ConnectionMessage& message) {
    ConnectionCore& c = core();
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
            strangers_ = std::make_unique<RateLimiter>(c.timings().strangerBurst,
                                                       c.timings().strangerRefillMs);
        }
        if (!strangers_->allow(address, c.nowMs())) {
            qCDebug(lcNetwork) << "unknown peer" << address << "over its rate:" << message.type;
            return;
        }
        connId = addPeer(address, port);
        if (ConnectionInfo* record = c.findInTable(ConnectionCore::Table::Pending, connId)) {
            record->accepted = true;
        }
    }
    c.processContent(connId, message);
}

void SharedDatagramTransport::processSocketError() {
    Q_EMIT core().events().errorOccured(-1, ConnectionInterface::ConnectionLost);
    core().clearConnections();
}
