#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>
#include <functional>
#include <map>

#include "network/admission.h"

// A player's session on the game server: what its stream and its datagram
// connection share. Nothing here refers to a socket, so that a session can
// outlive the connections it came on.
struct PlayerSession {
    int clientId = -1;
    int players = 0;       // local players on the client, 1 or 2
    QHostAddress address;  // where its stream came from
    bool stream = false;   // the channels that are up
    bool datagram = false;
    QString token;          // proves the seat after a drop
    bool held = false;      // dropped in a game: the seat waits for the token
    bool returned = false;  // came back by its token; the server has not seated it yet
};

// Every client's session, and who may join: the one place that decides a
// client's id, the host and the player limit, for both channels. The stream
// hello opens a session; the datagram hello joins the session of the id it
// asks for, from the stream's address, and nothing else, so that nobody who
// sends one datagram can speak for a player. An id stays taken until both
// channels of its session are gone.
//
// A server with a host key of its own is hosted by the client that holds the
// key: that client joins first, and its leaving ends the server. A server
// without one (dedicated) makes the first client to join while there is no
// host the host, and plays on when it leaves.
//
// Every stream admission hands out a token, drawn from a strong source. A
// session the server holds (its client dropped in a game) keeps its id and
// its places while both channels are gone, until its client comes back by
// that token on a new stream, from wherever it is now, or the server lets
// the seat go.
class PlayerSessions : public PlayerGate {
public:
    struct Rules {
        int hostKey = -1;
        bool singleplayer = false;
        bool usePassword = false;
        QString password;
        int maxPlayers = 4;
    };

    // newToken: the seat tokens; empty: 128 bits of the system's strong source.
    explicit PlayerSessions(const Rules& rules, std::function<QString()> newToken = {});

    Verdict admit(GameChannel channel, const PayloadCodec::Hello& hello,
                  const QHostAddress& from) override;
    Verdict rejoin(const PayloadCodec::Rejoin& rejoin, const QHostAddress& from) override;
    void left(GameChannel channel, int clientId) override;
    bool isHost(int clientId) const override { return clientId >= 0 && clientId == hostId_; }
    // Players of the clients that are joined, and one a seat.
    int playerCount() const override;
    // Whether that many more players fit under the limit.
    bool hasRoom(int players) const { return playerCount() + players <= rules_.maxPlayers; }
    QList<int> seats() const override { return seats_; }

    // Players the server seats itself (computers): their ids are never handed
    // to a client, and each counts as one player.
    void setSeats(const QList<int>& clientIds) { seats_ = clientIds; }
    // Client ids of the sessions whose stream is up.
    QList<int> clientIds() const;
    const PlayerSession* find(int clientId) const;

    // Keeps the session of a client that dropped; false if there is none.
    bool hold(int clientId);
    // The held seat is given up: the id is free once its channels are gone.
    void release(int clientId);
    QList<int> heldIds() const;
    // Whether the client came back by its token since the last call.
    bool takeReturn(int clientId);
    // -1 while nobody is host.
    int hostClientId() const { return hostId_; }
    bool hostOwnsServer() const { return rules_.hostKey >= 0; }

private:
    Verdict admitStream(const PayloadCodec::Hello& hello, const QHostAddress& from);
    Verdict admitDatagram(const PayloadCodec::Hello& hello, const QHostAddress& from);
    bool taken(int clientId) const;
    template <typename Keep>
    QList<int> idsWhere(Keep keep) const;

    Rules rules_;
    std::function<QString()> newToken_;
    std::map<int, PlayerSession> sessions_;
    QList<int> seats_;
    int hostId_ = -1;
};
