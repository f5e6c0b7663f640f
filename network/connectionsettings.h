#pragma once

#include <QString>

#include "network/networktimings.h"

// What one connection object is: the server's stream or datagram side, a
// client's connection to a game server, or a master server link.
//
// A server side fills in what it tells of itself (who may join is its
// PlayerGate's to decide); a client side leaves the name empty and sends no
// pings.
struct ConnectionSettings {
    QString name;          // server name, sent in "SIN"
    int maxPlayers = 4;    // sent in "SIN"
    bool stats = false;    // ranked: "T" in "SON", "SOF" and "SIN"
    int pingInterval = 0;  // ms between ping lists; 0: none
    // Runs over datagrams: reliable messages are numbered and kept for
    // resend requests, and established peers time out when silent. A stream
    // transport never numbers, whatever this says.
    bool datagram = false;
    bool usePassword = false;  // sent in "SIN"
    int timeout = -1;          // ms of silence before an established datagram peer ends
    // The game's invite code from the master server: a probe that asks with
    // a nonce gets a "SIN" proven with it. Empty: none.
    QString inviteCode;
    NetworkTimings timings;
};
