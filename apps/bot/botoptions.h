#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

#include "apps/common/commandline.h"
#include "game/computerskill.h"

// What a bot was asked to do on its command line.
struct BotOptions {
    QString address;  // ADDRESS:PORT, the address numeric
    QString name = QStringLiteral("Bot");
    QString password;  // as the GUI sends it: the marker, then the typed text; empty: none
    int games = 1;
    std::uint32_t seed = 1;
    int columns = 12;     // how much of its own part of the ring it fills
    int waitPlayers = 1;  // gets ready only once this many players are listed
    int lossPercent = 0;  // datagrams lost on purpose each way
    ComputerSkill skill = ComputerSkill::Simple;
    QString statsFile;  // written on the way out; empty: none
};

using BotOptionsResult = CommandLineResult<BotOptions>;

// Reads the command line (arguments[0] is the program). Every argument is
// checked; anything unknown, missing or out of range is an error.
BotOptionsResult parseBotOptions(const QStringList& arguments);
