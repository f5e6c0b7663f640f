#pragma once

#include <QAbstractSocket>
#include <QHash>
#include <QHostAddress>
#include <QObject>

#include "network/connectionmessage.h"
#include "network/messagedecoder.h"

// Frames messages on one socket: encodes each message as one packet and cuts
// received bytes into messages. The stream version decodes a byte stream;
// SocketDatagram decodes each datagram on its own.
//
// Owns its socket. Socket errors, short writes, a stream that breaks the
// framing and a framing time-out all arrive as gotError, always from the event
// loop and never from inside a send, so a sender's loop over its connections
// is not cut short by a removal.
class SocketAbstract : public QObject {
    Q_OBJECT

public:
    static constexpr int kDefaultFramingTimeoutMs = 5000;

    // Takes the socket over as a child.
    SocketAbstract(int id, QAbstractSocket* socket, QObject* parent = nullptr);
    ~SocketAbstract() override;

    int id() const { return id_; }
    QAbstractSocket* socket() const { return socket_; }
    // How long a started message may wait for its next bytes on a stream.
    void setFramingTimeout(int ms) { framingTimeoutMs_ = ms; }
    bool framingTimerRunning() const { return timerId_ != 0; }

    // Returns the size of the packet handed to the socket, 0 when retired.
    virtual qint64 sendMessage(const QHostAddress& address, int port,
                               const ConnectionMessage& message);

    // The connection is gone: stop delivering anything, let what was written
    // go out (a stream closes after flushing, at most graceMs), then delete
    // this wrapper and its socket.
    void retire(int graceMs);
    bool isRetired() const { return retired_; }

Q_SIGNALS:
    void gotConnection(int id);
    void gotMessage(int id, QHostAddress address, int port, ConnectionMessage message);
    void gotError(int id, QAbstractSocket::SocketError error);

protected:
    SocketAbstract(int id, QAbstractSocket* socket, MessageDecoder::Mode mode, QObject* parent);

    virtual void write(const QHostAddress& address, int port, const QByteArray& packet);
    void deliver(const QList<ConnectionMessage>& messages, const QHostAddress& address, int port);
    // Emits gotError from the event loop.
    void reportError(QAbstractSocket::SocketError error);
    void timerEvent(QTimerEvent* event) override;

    MessageDecoder decoder_;

protected Q_SLOTS:
    virtual void processConnected();
    virtual void processReadyRead();
    virtual void processSocketError(QAbstractSocket::SocketError error);

private:
    void updateTimer();

    QAbstractSocket* socket_;
    int id_;
    int timerId_ = 0;
    int framingTimeoutMs_ = kDefaultFramingTimeoutMs;
    bool retired_ = false;
};

// A datagram socket: one packet per datagram, each received datagram decoded
// alone with its sender's address and port. On a connected socket (one peer)
// packets go to that peer; otherwise to the address and port given.
class SocketDatagram : public SocketAbstract {
    Q_OBJECT

public:
    SocketDatagram(int id, QAbstractSocket* socket, QObject* parent = nullptr);

    // A socket shared by many peers: a send that fails for one destination is
    // that datagram's loss, not a failure of the socket (which would end every
    // peer's connection). Only a socket that is no longer bound reports it.
    void setShared(bool shared) { shared_ = shared; }
    bool isShared() const { return shared_; }

protected:
    void write(const QHostAddress& address, int port, const QByteArray& packet) override;

protected Q_SLOTS:
    void processReadyRead() override;
    void processSocketError(QAbstractSocket::SocketError error) override;

private:
    static constexpr int kMaxReplyAddresses = 4096;

    bool shared_ = false;
    bool writing_ = false;
    // A shared socket bound to every address of a machine with several:
    // where each peer wrote to, so that the answer leaves from there (from
    // another, the peer's router would take it for a stranger's). Bounded:
    // when full it starts again, and answers leave as the routes say.
    QHash<QString, QHostAddress> replyFrom_;
};
