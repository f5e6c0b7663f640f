#pragma once

#include <QHostAddress>
#include <QString>
#include <QtGlobal>

#include "network/connectionmessage.h"
#include "network/endpoint.h"

class ConnectionCore;
class ConnectionInfo;

// How a ConnectionCore reaches its peers. A core is given one transport and
// owns it; the transport opens records in the core's tables for new peers and
// hands received messages to ConnectionCore::processContent.
//
// Three kinds: a socket per peer over TCP or UDP (PeerTransport), and one
// bound UDP socket shared by every peer (SharedDatagramTransport).
class Transport {
public:
    virtual ~Transport();

    // Called once by the core that takes the transport over.
    void attach(ConnectionCore& core) {
        core_ = &core;
        attached();
    }

    virtual int acceptSocket(qintptr socketDescriptor, const Endpoint& relayedPeer) = 0;
    virtual int connectToHost(const QHostAddress& address, int port) = 0;
    virtual int connectWithHello(const QHostAddress& address, int port, int players, int hostKey,
                                 const QString& password, int requestedId) = 0;
    // Puts one finished message on the wire to the record's peer; returns the
    // bytes handed to the socket (0 when nothing went out).
    virtual qint64 deliver(ConnectionInfo& record, const ConnectionMessage& message) = 0;
    // A stream never numbers messages, whatever the datagram setting says.
    virtual bool isStream() const { return false; }
    // Called once when a record leaves its table.
    virtual void release(ConnectionInfo& record) { Q_UNUSED(record) }
    // The local port the next connections dialled out leave from, one that
    // the peer's router was opened towards (0: any free port).
    void setLocalPort(int port) { localPort_ = port; }
    int localPort() const { return localPort_; }

protected:
    virtual void attached() {}
    ConnectionCore& core() const { return *core_; }

private:
    ConnectionCore* core_ = nullptr;
    int localPort_ = 0;
};
