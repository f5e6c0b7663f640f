#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>
#include <functional>

#include "network/payloadcodec.h"

// The answer to a hello: accepted, or one of the refusals, whose values are
// the ones "SHI" carries on the wire.
enum class HelloOutcome {
    Accepted = 0,
    ServerFull = -1,
    Refused = -2,
    WrongPassword = -3,
};

// Who may join a game server: one policy for the server's stream and datagram
// sides, without sockets or tables of its own. The core tells it what the
// tables hold; it answers with the outcome and, for an accepted hello, the
// client id and whether the joiner becomes host.
class Admission {
public:
    struct Rules {
        int hostKey = -1;  // negative: nobody is recognised by key
        bool singleplayer = false;
        bool usePassword = false;
        QString password;
        int maxPlayers = 4;
    };

    // What the tables hold when a hello arrives.
    struct Tables {
        int playerCount = 0;
        bool hostPresent = false;
        QList<int> clientIds;  // of the established connections
        QList<int> seats;      // ids of players the server seats itself
    };

    struct Verdict {
        HelloOutcome outcome = HelloOutcome::Refused;
        int clientId = -1;
        bool becomesHost = false;
    };

    explicit Admission(const Rules& rules) : rules_(rules) {}

    // A server without a client of its own: the first accepted hello becomes
    // host while there is no host, without the host key.
    void setFirstClientIsHost(bool on) { firstClientIsHost_ = on; }
    // The server's datagram side: a hello whose requested id equals the id
    // returned here becomes host, so that a client's stream and datagram
    // connections agree. The stream side has then already decided who may
    // join first, so the datagram side does not insist on the host key.
    void setHostClientIdSource(std::function<int()> source) { hostIdSource_ = std::move(source); }
    // The server's datagram side: a hello is accepted only when it asks for an
    // id that check confirms for the sender's address (the stream side has that
    // client, from that host). Without it, anyone who sends one datagram could
    // take a free id, or a joining player's id before the player's own hello,
    // and speak as that player.
    void setClientIdCheck(std::function<bool(int clientId, const QHostAddress& address)> check) {
        clientIdCheck_ = std::move(check);
    }

    // Whether the host leaving ends the server ("SSHD" to all). Only a server
    // whose host is its own client does; with either setting above the host is
    // just the first client, and the others play on when it leaves.
    bool hostOwnsServer() const { return !firstClientIsHost_ && !hostIdSource_; }

    Verdict decide(const PayloadCodec::Hello& hello, const QHostAddress& from,
                   const Tables& tables) const;

private:
    Rules rules_;
    bool firstClientIsHost_ = false;
    std::function<int()> hostIdSource_;
    std::function<bool(int, const QHostAddress&)> clientIdCheck_;
};
