#pragma once

#include <QUdpSocket>
#include <memory>

#include "network/connectionabstract.h"
#include "network/ratelimiter.h"
#include "network/socketabstract.h"

// The game server's datagram side: one bound UDP socket shared by every peer,
// peers told apart by address and port.
//
// Only a hello ("CHI") or an info request ("CIN") from an unknown address
// creates a record; anything else from a stranger is dropped without a
// trace. Both are answered, so they are taken at a bounded rate per source
// address: a forged sender would otherwise turn the server into a reflector
// of answers ten times the request's size. Whatever a peer sends, the shared
// socket itself is never aborted and other peers' traffic keeps flowing.
class ConnectionUdp : public ConnectionAbstract {
    Q_OBJECT

public:
    // socket: created and bound by the owner; this object takes it over.
    ConnectionUdp(const QString& name, int maxPlayers, bool singleplayer, bool stats,
                  int pingInterval, bool datagram, int hostKey, bool usePassword,
                  const QString& password, int timeout, QUdpSocket* socket,
                  QObject* parent = nullptr);
    ~ConnectionUdp() override;

    // Takes a UDP socket descriptor over as the shared socket; returns -1 (a
    // datagram socket is no connection of its own).
    int acceptSocket(qintptr socketDescriptor) override;
    int connectToHost(const QHostAddress& address, int port) override;
    int connectWithHello(const QHostAddress& address, int port, int players, int hostKey,
                         const QString& password, int requestedId) override;

    SocketDatagram* socketWrapper() const { return wrapper_; }
    // Connection id of the peer at address and port, -1 for none.
    int connIdOf(const QHostAddress& address, int port) const;

protected:
    qint64 deliver(ConnectionInfo& record, const ConnectionMessage& message) override;
    void processMessage(int id, const QHostAddress& address, int port,
                        const ConnectionMessage& message) override;
    void processSocketError(int connId, QAbstractSocket::SocketError error) override;
    virtual int addPeer(const QHostAddress& address, int port);

private:
    void adopt(QUdpSocket* socket);

    SocketDatagram* wrapper_ = nullptr;
    std::unique_ptr<RateLimiter> strangers_;  // made with the timings at first use
};
