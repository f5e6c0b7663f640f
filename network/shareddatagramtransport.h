#pragma once

#include <QUdpSocket>
#include <memory>

#include "network/messagedecoder.h"
#include "network/ratelimiter.h"
#include "network/transport.h"

class SocketDatagram;

// Peers reached another way than through the shared socket: at a relay,
// which hands what they send back in (SharedDatagramTransport::arriveByDetour).
class DatagramDetour {
public:
    virtual ~DatagramDetour();
    virtual bool carries(const QHostAddress& address, int port) const = 0;
    virtual void send(const QHostAddress& address, int port, const QByteArray& packet) = 0;
};

// The game server's datagram side: one bound UDP socket shared by every peer,
// peers told apart by address and port.
//
// Only a hello ("CHI") or an info request ("CIN") from an unknown address
// creates a record; anything else from a stranger is dropped without a
// trace. Both are answered, so they are taken at a bounded rate per source
// address: a forged sender would otherwise turn the server into a reflector
// of answers ten times the request's size. Whatever a peer sends, the shared
// socket itself is never aborted and other peers' traffic keeps flowing; an
// error of the socket (or its closing) ends every datagram connection.
//
// A second socket may be given for the LAN question on the discovery port:
// only info requests are heard there, taken as if they had come to the
// shared socket (so at the strangers' rate) and answered from it, so that the
// answer's source is the game port.
class SharedDatagramTransport : public Transport {
public:
    // socket (and discovery, if any): created and bound by the owner; taken
    // over once attached.
    explicit SharedDatagramTransport(QUdpSocket* socket,
                                     std::unique_ptr<QUdpSocket> discovery = nullptr);
    ~SharedDatagramTransport() override;

    // Takes a UDP socket descriptor over as the shared socket; returns -1 (a
    // datagram socket is no connection of its own).
    int acceptSocket(qintptr socketDescriptor, const Endpoint& relayedPeer) override;
    // -1: the server's shared socket only answers peers; dialing out is the
    // client's, on a transport of its own.
    int connectToHost(const QHostAddress&, int) override { return -1; }
    int connectWithHello(const QHostAddress&, int, int, int, const QString&, int) override {
        return -1;
    }
    qint64 deliver(ConnectionInfo& record, const ConnectionMessage& message) override;

    SocketDatagram* socketWrapper() const { return wrapper_; }
    // Not owned; null: none. Unset it before the detour goes.
    void setDetour(DatagramDetour* detour) { detour_ = detour; }
    // A packet a peer sent by the detour, taken as if the socket had it.
    void arriveByDetour(const QHostAddress& address, int port, const QByteArray& packet);
    // Connection id of the peer at address and port, -1 for none.
    int connIdOf(const QHostAddress& address, int port) const;

private:
    void attached() override;
    void adopt(QUdpSocket* socket);
    void hearQuestions(QUdpSocket* socket);
    int addPeer(const QHostAddress& address, int port);
    void processMessage(const QHostAddress& address, int port, const ConnectionMessage& message);
    // A message past the loss simulation.
    void processArrival(const QHostAddress& address, int port, const ConnectionMessage& message);
    void processSocketError();

    std::unique_ptr<QUdpSocket> waiting_;    // until attached to a core
    std::unique_ptr<QUdpSocket> discovery_;  // likewise
    SocketDatagram* wrapper_ = nullptr;      // a child of the core
    std::unique_ptr<RateLimiter> strangers_;
    DatagramDetour* detour_ = nullptr;
    MessageDecoder detourDecoder_{MessageDecoder::Mode::Datagram};
};
