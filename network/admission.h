#pragma once

#include <QHostAddress>
#include <QList>

#include "network/payloadcodec.h"

// The answer to a hello: accepted, or one of the refusals, whose values are
// the ones "SHI" carries on the wire.
enum class HelloOutcome {
    Accepted = 0,
    ServerFull = -1,
    Refused = -2,
    WrongPassword = -3,
};

// The two ways a player's session reaches the game server.
enum class GameChannel { Stream, Datagram };

// Who may join is the game server's decision, not the connection's: a
// server's connection core asks its gate at every hello and tells it when an
// established connection ends, and carries out what the gate says. One gate
// serves both channels, so that they agree on ids, the host and the limits.
class PlayerGate {
public:
    struct Verdict {
        HelloOutcome outcome = HelloOutcome::Refused;
        int clientId = -1;
        bool isHost = false;
        // Proves the seat when the client comes back after a drop ("STK");
        // empty: the gate keeps no seats.
        QString token;
    };

    virtual ~PlayerGate() = default;

    virtual Verdict admit(GameChannel channel, const PayloadCodec::Hello& hello,
                          const QHostAddress& from) = 0;
    // A client back after a drop asks for the seat its token proves, on the
    // stream; a gate that keeps no seats refuses.
    virtual Verdict rejoin(const PayloadCodec::Rejoin& rejoin, const QHostAddress& from) {
        Q_UNUSED(rejoin);
        Q_UNUSED(from);
        return {};
    }
    virtual void left(GameChannel channel, int clientId) = 0;
    // Whether this client id is the host's (a repeated hello is answered again).
    virtual bool isHost(int clientId) const = 0;
    // Players on the server, seated computers included, for the server's
    // answer to probes.
    virtual int playerCount() const = 0;
    // Ids of the players the server seats itself, shown in ping lists.
    virtual QList<int> seats() const = 0;
};
