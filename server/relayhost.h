#pragma once

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QSet>
#include <QString>

#include "network/shareddatagramtransport.h"
#include "relay/turntcprelay.h"
#include "relay/turnudprelay.h"

// The game's addresses at the master server's relay, for a game the master
// server could not reach: a TURN allocation for the datagrams and one over
// TCP for the stream. A joiner the master server announces is let in at both
// (a permission for its address); what it sends by datagram goes into the
// game's datagram side, answers to it leave through the relay, and its
// stream is handed to the stream side as an accepted socket.
class RelayHost : public QObject, public DatagramDetour {
    Q_OBJECT

public:
    RelayHost(const TurnServer& relay, const TurnTimings& timings, QObject* parent = nullptr);
    ~RelayHost() override;

    void start();
    bool failed() const { return failed_; }
    // "address:port" of both allocations once both are there; empty before.
    QString streamEndpoint() const;
    QString datagramEndpoint() const;
    // Lets the joiner of nonce in; admitted(nonce) follows once both
    // allocations took its address (or it failed at one: the game then is
    // not reached there either way).
    void admit(const QString& nonce, const QHostAddress& joiner);

    // Peers heard through the datagram allocation.
    bool carries(const QHostAddress& address, int port) const override;
    void send(const QHostAddress& address, int port, const QByteArray& packet) override;

Q_SIGNALS:
    void allocated(QString stream, QString datagram);
    void admitted(QString nonce);
    void arrived(QHostAddress address, int port, QByteArray packet);
    void streamArrived(qintptr descriptor, QHostAddress peer, int peerPort);
    void gaveUp(QString reason);

private:
    // A bound on the peers remembered: only addresses let in can send, but
    // each may use many ports.
    static constexpr int kMaxPeers = 4096;

    void processAllocated();
    void processPermitted(const QHostAddress& peer, bool stream);
    void processFailure(const QString& reason);

    TurnUdpRelay datagrams_;
    TurnTcpRelay stream_;
    TurnServer relay_;
    bool failed_ = false;
    bool announced_ = false;
    struct Admission {
        QHostAddress joiner;
        bool datagrams = false;
        bool stream = false;
    };
    QHash<QString, Admission> admitting_;  // by nonce
    QSet<QString> peers_;                  // "address:port" heard through the relay
};
