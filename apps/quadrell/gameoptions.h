#pragma once

#include <QString>
#include <QStringList>

#include "commandline.h"

struct GameOptions {
    bool windowed = false;
    bool version = false;
    QString dataDirectory;  // every file of the game in this folder; empty: the usual places
};

// The environment variable that names the folder when --data-dir does not.
inline constexpr char kDataDirVariable[] = "QUADRELL_DATA_DIR";

// The arguments without Qt's own options (-platform xcb, --style fusion,
// -style=fusion, -display :1, -reverse, ...), which QApplication reads from
// the same command line.
QStringList withoutQtOptions(const QStringList& arguments);

// The game's command line (arguments[0] is the program); dataDirVariable is
// the value of kDataDirVariable, which the option overrides.
CommandLineResult<GameOptions> parseGameOptions(const QStringList& arguments,
                                                const QString& dataDirVariable);
