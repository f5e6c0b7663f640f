#pragma once

#include <QString>
#include <QStringList>

#include "apps/common/commandline.h"

#include "game/appinfo.h"
#include "game/computerskill.h"

// What the dedicated server was asked to do on its command line.
struct DedicatedOptions {
    int port = Quadrell::kDefaultGamePort;  // 0: any free port
    QString name = QStringLiteral("Quadrell server");
    int maxPlayers = 4;
    bool usePassword = false;
    QString password;  // as a client sends it: the GUI's marker, then the typed text
    bool ranked = false;
    QString masterConfig;     // empty: "masterserver.ini" in the working directory
    QString statsFile;        // empty: no tick figures are written
    int heartbeatMs = 60000;  // how often the master server hears from us
    bool openPort = false;    // ask the router to forward the port
    bool listed = true;       // on the master server's public list, not by invite only
    int portLeaseSeconds = 3600;
    QString stateDir;         // empty: the working directory
    int statsRetryMs = 1000;  // first pause before a failed report goes again
    int computers = 0;        // computer players seated from the start
    ComputerSkill computerSkill = ComputerSkill::Normal;
    bool computerTakeover = true;  // a computer plays on for a player who leaves a game
};

// The file in stateDir that keeps ranked reports the stats service has not taken.
inline constexpr char kUnsentReportsFile[] = "unsent-reports.txt";

using OptionsResult = CommandLineResult<DedicatedOptions>;

// Reads the command line (arguments[0] is the program). Every argument is
// checked; anything unknown, missing or out of range is an error.
OptionsResult parseDedicatedOptions(const QStringList& arguments);
