#pragma once

#include <QString>
#include <QStringList>

#include <QHostAddress>
#include <QList>
#include <cstdint>

#include "apps/common/commandline.h"
#include "game/computerskill.h"
#include "game/gamefield.h"
#include "network/losssimulation.h"

// What a bot was asked to do on its command line.
struct BotOptions {
    QString address;  // HOST:PORT, the host an address or a name
    QString name = QStringLiteral("Bot");
    QString password;  // as the GUI sends it: the marker, then the typed text; empty: none
    int games = 1;
    std::uint32_t seed = 1;
    int columns = GameField::kColumnsPerPlayer;  // how much of its own part of the ring it fills
    int waitPlayers = 1;  // gets ready only once this many players are listed
    int lossPercent = 0;  // datagrams lost on purpose each way
    Latency latency;      // added to the datagrams' round trip
    ComputerSkill skill = ComputerSkill::Simple;
    QString statsFile;     // written on the way out; empty: none
    QString seatFile;      // --reconnect: the seat kept across a restart; empty: none
    bool predict = false;  // moves its own block on its copy at the press

    // --list: prints the servers the game's list would show, then exits.
    bool list = false;
    bool json = false;
    int waitMs = 2000;          // how long answers are waited for
    QString masterConfig;       // empty: masterserver.ini in the working directory, if any
    QList<QHostAddress> lanTo;  // where the local networks are asked; empty: every broadcast
    QList<int> lanPorts;        // asked instead of the discovery and default game ports
};

using BotOptionsResult = CommandLineResult<BotOptions>;

// Reads the command line (arguments[0] is the program). Every argument is
// checked; anything unknown, missing or out of range is an error.
BotOptionsResult parseBotOptions(const QStringList& arguments);
