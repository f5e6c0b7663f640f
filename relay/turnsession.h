#pragma once

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>

#include "relay/stunmessage.h"

// Where the relay is and who we are to it.
struct TurnServer {
    QString host;  // an address
    quint16 port = 3478;
    QString username;
    QString password;
};

struct TurnTimings {
    int requestTimeoutMs = 500;  // between tries over UDP; over TCP one try waits for all
    int requestTries = 4;
    int lifetimeSeconds = 600;         // asked for; refreshed a minute before its end
    int permissionRefreshMs = 240000;  // permissions last five minutes
    int keepAliveMs = 15000;           // holds our router's mapping open between games
};

// One allocation at a TURN server: requests with the long-term credentials
// (the first is answered 401 with the realm and a nonce, a stale nonce with
// 438 and a new one), the allocation's refreshes, and the permissions of the
// peers it is to let in, kept up while wanted. How messages travel is the
// subclass's: a UDP socket, or a TCP control connection.
class TurnSession : public QObject {
    Q_OBJECT

public:
    ~TurnSession() override;

    void start(const TurnServer& server);
    // Gives the allocation up; nothing is reported after that.
    void stop();
    bool isAllocated() const { return allocated_; }
    QHostAddress relayedAddress() const { return relayed_; }
    quint16 relayedPort() const { return relayedPort_; }
    void permit(const QHostAddress& peer);
    void forget(const QHostAddress& peer);

Q_SIGNALS:
    void allocated(QHostAddress relayed, quint16 port);
    void permitted(QHostAddress peer);
    // The relay would not let that peer in (another family, say); the
    // allocation goes on.
    void refused(QHostAddress peer, QString reason);
    void failed(QString reason);

protected:
    TurnSession(quint8 transport, const TurnTimings& timings, QObject* parent);

    using Answer = std::function<void(const StunMessage&)>;
    // Sends an authenticated request (once the realm is known) and calls
    // done with its success answer. An error answer goes to refused where
    // given; otherwise it, like no answer at all, fails the session.
    void request(StunMessage message, Answer done, Answer refused = {});
    // Takes a message from the relay: an answer to a request, or an
    // indication for the subclass (indication()).
    void receive(const StunMessage& message);
    void fail(const QString& reason);
    // The request's bytes with the credentials; for requests on other
    // connections (a TCP data connection's bind).
    QByteArray signedRequest(StunMessage message) const;

    virtual void open(const QHostAddress& address, quint16 port) = 0;
    virtual void close() = 0;
    virtual void write(const QByteArray& bytes) = 0;
    // Retransmitted until answered: not over a stream.
    virtual bool retransmits() const = 0;
    virtual void indication(const StunMessage& message) = 0;
    // The transport is ready for the first request.
    void opened();

    const TurnTimings timings_;
    QHostAddress server_;
    quint16 serverPort_ = 0;

private:
    struct Pending {
        StunMessage message;
        Answer done;
        Answer refused;
        int tries = 0;
        int authTries = 0;
    };
    void send(const QByteArray& transaction);
    void retry(Pending pending);
    void refresh(int lifetime);
    void refreshPermissions();
    void sendPermission(const QList<QHostAddress>& peers);

    quint8 transport_;
    TurnServer credentials_;
    QString realm_;
    QString nonce_;
    QByteArray key_;
    QHash<QByteArray, Pending> pending_;  // by transaction id
    QHash<QByteArray, QTimer*> resend_;
    // Peers to let in, as address text, oldest first; the oldest goes when
    // there are more than this (every joiner of a long-running game adds one).
    static constexpr int kMaxPermissions = 256;
    QStringList wanted_;
    bool allocated_ = false;
    bool stopped_ = false;
    bool failed_ = false;
    QHostAddress relayed_;
    quint16 relayedPort_ = 0;
    QTimer refreshTimer_;
    QTimer permissionTimer_;
};
