#pragma once

#include <QString>

#include "game/appinfo.h"
#include "game/computerskill.h"

// What the host chose for its game server. The connection layer uses name,
// maxPlayers, hostKey and the password; the server itself needs the port (for
// the master server), singleplayer, stats and the computer players.
struct ServerSettings {
    QString name;
    int port = Quadrell::kDefaultGamePort;
    int maxPlayers = 4;
    bool singleplayer = false;
    bool stats = false;  // ranked: the result of every game is reported
    int hostKey = -1;
    bool usePassword = false;
    QString password;
    int computers = 0;  // computer players seated at the start, as places allow
    ComputerSkill computerSkill = ComputerSkill::Normal;
    bool computerTakeover = true;  // a computer takes over from a player leaving a game
};

// Every duration of the game server in one place; tests shorten them.
struct ServerTimings {
    int tickMs = 20;
    int countdownMs = 1000;  // one step of the start and resume countdowns
    int heartbeatMs = 60000;
    int statsRetries = 3;        // repeats after the first request
    int statsTimeoutMs = 30000;  // a stats request without an answer counts as failed
};

// A host key nobody can guess: it is what makes a client the host, so it comes
// from the system's cryptographically strong source. Never negative (-1 means
// "no key" on the wire).
int drawHostKey();
