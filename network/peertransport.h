#pragma once

#include <QAbstractSocket>

#include "network/connectioninfo.h"
#include "network/transport.h"

// One socket per peer: each record holds its own framing wrapper, whose id is
// the connection id. Over TCP: the server's stream side and a client's stream
// connection (messages never numbered). Over UDP, the socket connected to its
// one peer: a client's datagram connection, the master link and the probes.
//
// A removed record's socket is closed at once (a stream after flushing what
// was written), so nothing stays open for a connection that no table holds.
class PeerTransport : public Transport {
public:
    enum class Kind { Tcp, Udp };

    // Accepted streams from one address that may be in their handshake at a
    // time: a peer opening connections and saying nothing would otherwise
    // hold a socket each until the handshake times out.
    static constexpr int kMaxHandshakesPerAddress = 8;

    explicit PeerTransport(Kind kind) : kind_(kind) {}

    int acceptSocket(qintptr socketDescriptor, const Endpoint& relayedPeer) override;
    int connectToHost(const QHostAddress& address, int port) override;
    int connectWithHello(const QHostAddress& address, int port, int players, int hostKey,
                         const QString& password, int requestedId) override;
    qint64 deliver(ConnectionInfo& record, const ConnectionMessage& message) override;
    bool isStream() const override { return kind_ == Kind::Tcp; }
    void release(ConnectionInfo& record) override;

private:
    // A record with a wrapped new socket, its signals connected.
    ConnectionInfo& openRecord(ConnectionState state);
    // A record whose socket connects to the peer; its id.
    int openConnection(ConnectionState state, const QHostAddress& address, int port);
    void processMessage(int connId, const ConnectionMessage& message);
    void processSocketError(int connId);

    Kind kind_;
};
