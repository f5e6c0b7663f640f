#pragma once

#include <QString>

#include "game/appinfo.h"
#include "game/computerskill.h"

// What the host chose for its game server. The hosting client hands it to
// the server it starts, so it lives below both. The connection layer uses
// name, maxPlayers, hostKey and the password; the server itself needs the
// port (for the master server), singleplayer, stats and the computer players.
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
    // On the master server's public list; either way the game gets an
    // invite code when a master server is set.
    bool listed = true;
    int computers = 0;  // computer players seated at the start, as places allow
    ComputerSkill computerSkill = ComputerSkill::Normal;
    bool computerTakeover = true;  // a computer takes over from a player leaving a game
};

// A host key nobody can guess: it is what makes a client the host, so it comes
// from the system's cryptographically strong source. Never negative (-1 means
// "no key" on the wire).
int drawHostKey();
