#pragma once

#include <QString>

#include "network/networktimings.h"

// What one connection object is: the server's stream or datagram side, a
// client's connection to a game server, or a master server link.
//
// A server side fills in what it tells and what it asks of joining clients;
// a client side leaves name, password and key empty (they travel in each
// hello) and sends no pings.
struct ConnectionSettings {
    QString name;               // server name, sent in "SIN"
    int maxPlayers = 4;         // player limit of the hello; sent in "SIN"
    bool singleplayer = false;  // only the host's own client may join
    bool stats = false;         // ranked: "T" in "SON", "SOF" and "SIN"
    int pingInterval = 0;       // ms between ping lists; 0: none
    // Runs over datagrams: reliable messages are numbered and kept for
    // resend requests, and established peers time out when silent. A stream
    // transport never numbers, whatever this says.
    bool datagram = false;
    int hostKey = -1;  // marks the host's own client; negative: none
    bool usePassword = false;
    QString password;
    int timeout = -1;  // ms of silence before an established datagram peer ends
    NetworkTimings timings;
};
