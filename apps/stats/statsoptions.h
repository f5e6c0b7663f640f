#pragma once

#include <QHostAddress>

#include "apps/common/commandline.h"
#include "stats/statsstore.h"

// What quadrell-stats was asked to do on its command line.
struct StatsOptions {
    static constexpr int kDefaultPort = 27405;

    int port = kDefaultPort;  // 0: any free port
    QHostAddress bind = QHostAddress::Any;
    StoreLocation database;  // stats.sqlite in the working directory by default
    int rateLimit = 60;      // reports a minute from one address
};

using StatsOptionsResult = CommandLineResult<StatsOptions>;

// Reads the command line (arguments[0] is the program). Every argument is
// checked; anything unknown, missing or out of range is an error.
StatsOptionsResult parseStatsOptions(const QStringList& arguments);
