#pragma once

#include <QString>

#include "game/appinfo.h"

// What the host chose for its game server. The connection layer uses name,
// maxPlayers, hostKey and the password; the server itself needs the port (for
// the master server), singleplayer and stats.
struct ServerSettings {
    QString name;
    int port = Quadrell::kDefaultGamePort;
    int maxPlayers = 4;
    bool singleplayer = false;
    bool stats = false;  // ranked: the result of every game is reported
    int hostKey = -1;
    bool usePassword = false;
    QString password;
    // Ask the router to forward the game port, so that friends outside the
    // local network can join (never for singleplayer or a loopback server).
    bool openPort = true;
    // The port the master server hears: -1 the game port; 0 none yet (the
    // router is still being asked, see Server::setPublicPort).
    int publicPort = -1;
};

// Every duration of the game server in one place; tests shorten them.
struct ServerTimings {
    int tickMs = 20;
    int countdownMs = 1000;  // one step of the start and resume countdowns
    int heartbeatMs = 60000;
    int statsRetries = 3;        // repeats before the players hear that it failed
    int statsTimeoutMs = 30000;  // a stats request without an answer counts as failed
    // A failed report is sent again after this pause, doubled each time up to
    // the longest; it is dropped after a failed attempt this long after the first.
    int statsFirstPauseMs = 1000;
    int statsLongestPauseMs = 600000;
    qint64 statsGiveUpMs = 3600000;
};

// A host key nobody can guess: it is what makes a client the host, so it comes
// from the system's cryptographically strong source. Never negative (-1 means
// "no key" on the wire).
int drawHostKey();
