#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>

#include "game/clock.h"
#include "inviteregistry.h"
#include "masterregistry.h"
#include "network/connectionmessage.h"
#include "network/endpoint.h"
#include "network/messagedecoder.h"
#include "network/ratelimiter.h"

class QTimer;
class ReachProbe;
class QUdpSocket;

// The master server: answers "SON" with "MON", "SOF" with "MOF", "CTS" with
// "MTS" and "CLS" with "MLS" over UDP with the game's framing. It is
// stateless towards clients and keeps only the registry of announced servers.
//
// It also hands out invite codes: a game server that asks ("SRG", listed or
// not) gets a code ("MRG"), its reach is tried from elsewhere (ReachProbe)
// and the outcome follows in another "MRG"; a joiner asks where a code's game
// is ("CJN") and is told ("MJN").
//
// With a relay (a TURN server sharing our secret), a game the probe could not
// reach both ways gets credentials for it in its "MRG" and registers the
// addresses it took there; a joiner of such a game is told the relayed way
// too, and its answer waits until the game let it in at the relay ("MPN",
// "SPN") or for joinWaitMs at most.
//
// Hole punching: a joiner that names the port it asked from, where its router
// kept that port, is announced to such a game as well ("MPN" with where we
// see that port). The game opens its router towards it and answers at once
// from its datagram port ("SPN" with the port its stream opened from); where
// its router kept that port too, the joiner is told the punched way first,
// without waiting for the relay. The game opens before the joiner hears of
// it, so the joiner's packets always meet an open router and no clocks need
// to agree.
//
// Whatever a datagram holds is decoded on its own and anything that is not one
// of these four requests is dropped without an answer, so no peer can stall or
// steer the service. Answers are rate-limited per source address, and a list
// answer carries a bounded number of servers, so that a forged source address
// cannot turn the master into an amplifier.
class MasterService : public QObject {
    Q_OBJECT

public:
    struct Config {
        QHostAddress bindAddress = QHostAddress::Any;  // both families where there are both
        int port = 27404;
        int sweepIntervalMs = 60000;  // one heartbeat of the game servers
        int maxListEntries = 32;      // keeps an "MLS" within one small datagram
        int requestBurst = 20;        // answers per address in a burst ...
        int requestRefillMs = 100;    // ... then one more every this many ms
        int listBurst = 4;            // list answers per address in a burst ...
        int listRefillMs = 1000;      // ... then one per second
        MasterRegistry::Limits limits;
        int inviteBurst = 5;        // invite lookups per address in a burst ...
        int inviteRefillMs = 2000;  // ... then one every two seconds
        int reachTimeoutMs = 2000;  // how long a game's reach is tried
        InviteRegistry::Limits invites;
        std::function<quint32()> random;  // codes and tokens; empty: the system's
        // The relay; no address: none. Its credentials are the REST kind:
        // valid relayTtlSeconds, user names "expiry:code".
        Endpoint relay;
        QByteArray relaySecret;
        int relayTtlSeconds = 86400;
        int joinWaitMs = 1000;
        int maxWaitingJoins = 1024;
        std::function<qint64()> unixTime;  // seconds; empty: the system clock's
    };

    explicit MasterService(const Config& config, const Clock& clock = Clock::system(),
                           QObject* parent = nullptr);
    ~MasterService() override;

    // Binds the socket; false with errorString() set when the port is taken.
    bool start();
    QString errorString() const { return error_; }
    int port() const;
    const MasterRegistry& registry() const { return registry_; }
    const InviteRegistry& invites() const { return invites_; }

    struct Counters {
        qint64 datagrams = 0;
        qint64 answered = 0;
        qint64 limited = 0;
        qint64 rejected = 0;  // bad digest, bad port, unknown code
    };
    const Counters& counters() const { return counters_; }

public Q_SLOTS:
    // One missed heartbeat for every server (runs on the sweep timer).
    void sweep();

Q_SIGNALS:
    // One line for the operator's log: a registration change or expiry.
    void logLine(const QString& line);

private:
    void processPendingDatagrams();
    void processMessage(const ConnectionMessage& message, const QHostAddress& sender, quint16 port);
    void processAnnouncement(bool online, const QString& payload, const QHostAddress& sender,
                             quint16 port);
    void processRegistration(const QString& payload, const QHostAddress& sender, quint16 port);
    void processInviteQuery(const QString& payload, const QHostAddress& sender, quint16 port);
    void processJoinerReady(const QString& payload, const QHostAddress& sender, quint16 port);
    // Sends a waiting joiner its answer, if it still waits.
    void releaseJoin(const QString& nonce);
    bool relayed(const InviteRegistry::Place& place) const;
    void processReach(const QString& code, const QHostAddress& address, bool stream, bool datagram);
    void answerRegistration(InviteRegistry::Invite& invite, const InviteRegistry::Place& place);
    // from: the address to answer from; null: the one the datagram in hand was sent to.
    void answer(MessageCode code, const QString& content, const QHostAddress& to, quint16 port,
                const QHostAddress& from = {});

    Config config_;
    const Clock& clock_;
    QUdpSocket* socket_;
    QTimer* sweepTimer_;
    MessageDecoder decoder_{MessageDecoder::Mode::Datagram};
    MasterRegistry registry_;
    InviteRegistry invites_;
    ReachProbe* reach_;
    RateLimiter requests_;
    RateLimiter lists_;
    RateLimiter inviteQueries_;
    Counters counters_;
    QString error_;
    QHostAddress replyFrom_;  // where the datagram in hand was sent to
    // Joiners whose answer waits for the game, by nonce.
    struct WaitingJoin {
        QString code;
        PayloadCodec::InviteAnswer answer;
        QHostAddress to;
        quint16 port = 0;
        QHostAddress from;
        bool relayFirst = false;           // the relayed way leads, barring a punched one
        bool punch = false;                // the game was told to open towards it
        std::optional<JoinWay> punched{};  // the way the game opened
    };
    QHash<QString, WaitingJoin> waiting_;
};
