#pragma once

#include <QString>
#include <QStringList>

#include "commandline.h"
#include "network/losssimulation.h"

struct GameOptions {
    bool windowed = false;
    bool version = false;
    QString dataDirectory;  // every file of the game in this folder; empty: the usual places
    bool flatOut = false;   // frames as fast as they can be drawn, not paced to the screen
    Latency latency;        // added to the game's datagrams, for trying a slow network
    QString joinCode;       // from a quadrell://join/ link: the game to join at the start
};

// The environment variable that names the folder when --data-dir does not.
inline constexpr char kDataDirVariable[] = "QUADRELL_DATA_DIR";
// The environment variable that slows the game's datagrams down ("MS[,JITTER]").
inline constexpr char kLatencyVariable[] = "QUADRELL_LATENCY";

// The arguments without Qt's own options (-platform xcb, --style fusion,
// -style=fusion, -display :1, -reverse, ...), which QApplication reads from
// the same command line.
QStringList withoutQtOptions(const QStringList& arguments);

// The game's command line (arguments[0] is the program), with at most one
// quadrell://join/XXXX-XXXX link among the arguments (what a desktop hands the
// game for a link clicked); any other "quadrell:" argument is an error.
// dataDirVariable is
// the value of kDataDirVariable, which the option overrides, latencyVariable
// that of kLatencyVariable (empty: no delay).
CommandLineResult<GameOptions> parseGameOptions(const QStringList& arguments,
                                                const QString& dataDirVariable,
                                                const QString& latencyVariable = {});
