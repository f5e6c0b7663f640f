#pragma once

// Rooms for the connection tests: a datagram server on its own socket, a
// stream server with its listener, clients, and joins by the book or by hand.
#include "nettestsupport.h"
#include "network/socketabstract.h"

namespace nettest {

using Error = ConnectionInterface::ConnectionError;

inline constexpr int kKey = 4711;

inline std::unique_ptr<NetServerConnection> udpServer(
    int timeout = 3000, int pingInterval = 0, int hostKey = kKey,
    const NetworkTimings& timings = fastTimings()) {
    ConnectionSettings s = serverSettings(true, timeout);
    s.pingInterval = pingInterval;
    s.timings = timings;
    return std::make_unique<GatedServer>(
        s, std::make_unique<SharedDatagramTransport>(boundUdpSocket()), joinRules(hostKey));
}

inline SharedDatagramTransport& sharedSocket(const NetServerConnection& server) {
    return static_cast<SharedDatagramTransport&>(server.core().transport());
}

inline int portOf(const NetServerConnection& server) {
    return sharedSocket(server).socketWrapper()->socket()->localPort();
}

// A stream server with its listener.
struct TcpRoom {
    explicit TcpRoom(int hostKey = kKey, const QString& password = QString(), int timeout = 3000)
        : server(std::make_unique<GatedServer>(
              settings(password, timeout),
              std::make_unique<PeerTransport>(PeerTransport::Kind::Tcp),
              joinRules(hostKey, password))),
          listener(*server),
          port(listener.serverPort()) {}
    static ConnectionSettings settings(const QString& password, int timeout) {
        ConnectionSettings s = serverSettings(false, timeout);
        s.usePassword = !password.isEmpty();
        return s;
    }
    std::unique_ptr<GatedServer> server;
    Listener listener;
    int port;
};

// Says hello and waits: the (client id, host) of connectionEstablished, or nothing.
inline QVariantList joined(ClientConnection& client, int port, int key, int requestedId = -1,
                           const QString& password = QString()) {
    QSignalSpy spy(&client, &ConnectionInterface::connectionEstablished);
    client.connectWithHello(kLocal, port, 1, key, password, requestedId);
    return QTest::qWaitFor([&] { return spy.count() == 1; }) ? spy.first() : QVariantList();
}

// Says hello and waits: the first error, or -1 when none came.
inline Error helloError(ClientConnection& client, int port, int players = 1, int key = -1,
                        const QString& password = QString()) {
    QSignalSpy errors(&client, &ConnectionInterface::errorOccured);
    client.connectWithHello(kLocal, port, players, key, password, -1);
    return QTest::qWaitFor([&] { return errors.count() > 0; }) ? errors.first()[1].value<Error>()
                                                               : Error(-1);
}

// A raw peer's handshake with a datagram server; returns the client id.
inline int rawJoin(RawPeer& peer, int port, int key) {
    peer.send(ConnectionMessage("CHI", QString("-1 1 %1 ").arg(key)), port);
    if (!QTest::qWaitFor([&] { return peer.count("SHI") > 0; })) {
        return -99;
    }
    return peer.ofType("SHI").last().content.section(' ', 0, 0).toInt();
}

}  // namespace nettest
