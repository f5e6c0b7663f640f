#pragma once

#include "network/connectionabstract.h"
#include "network/socketabstract.h"

// Connections with one socket per peer: each record holds its own framing
// wrapper, whose id is the connection id. The server's stream side and
// everything on the client side (game server, master server, probes).
//
// A removed record's socket is closed at once (a stream after flushing what
// was written), so nothing stays open for a connection that no table holds.
class ConnectionSocketAbstract : public ConnectionAbstract {
    Q_OBJECT

public:
    // Accepted streams from one address that may be in their handshake at a
    // time: a peer opening connections and saying nothing would otherwise
    // hold a socket each until the handshake times out.
    static constexpr int kMaxHandshakesPerAddress = 8;

    ~ConnectionSocketAbstract() override;

    int acceptSocket(qintptr socketDescriptor) override;
    int connectToHost(const QHostAddress& address, int port) override;
    int connectWithHello(const QHostAddress& address, int port, int players, int hostKey,
                         const QString& password, int requestedId) override;

protected:
    ConnectionSocketAbstract(const QString& name, int maxPlayers, bool singleplayer, bool stats,
                             int pingInterval, bool datagram, int hostKey, bool usePassword,
                             const QString& password, int timeout, QObject* parent);

    // A new TCP or UDP socket; the wrapper made for it becomes its parent.
    virtual QAbstractSocket* createSocket() = 0;

    qint64 deliver(ConnectionInfo& record, const ConnectionMessage& message) override;
    void processMessage(int id, const QHostAddress& address, int port,
                        const ConnectionMessage& message) override;
    void processSocketError(int connId, QAbstractSocket::SocketError error) override;
    void releaseSocket(ConnectionInfo& record) override;

private:
    // A record with a wrapped new socket, signals connected.
    ConnectionInfo& openRecord(ConnectionState state);
    // A record whose socket connects to the peer; its id.
    int openConnection(ConnectionState state, const QHostAddress& address, int port);
};
