#pragma once

#include <QSettings>
#include <QString>
#include <memory>

#include "game/computerskill.h"

// "settings.ini": the client options, the defaults of a hosted game and the
// join cache. Read once at construction; each save writes only its own group,
// and every other key of the file (unknown ones included) is kept.
class ClientSettings {
public:
    struct Options {
        QString name1;
        int color1 = -1;
        QString name2;
        int color2 = -1;
        bool showIntro = true;
        int showPreview = 1;
        bool showPointer = true;
        bool showFPS = false;
        bool invertControl = false;
        bool ignoreColors = false;
        bool enableStatsSP = true;
        bool playSounds = true;
        int resWidth = 0;  // 0: the primary screen's size
        int resHeight = 0;
        int quality = 2;
        bool enableVSync = true;
        bool predictMoves = true;  // the own block moves at the press
    };

    struct Hosting {
        QString name = QStringLiteral("Quadrell-Server");
        bool ranked = true;
        bool usePassword = false;
        QString password;  // without the GUI's marker character
        int maxPlayers = 4;
        int port = 27403;
        bool openPort = true;  // ask the router to forward the port to the game
        bool listed = true;    // on the master server's public list; else by invite code only
        int computers = 0;     // seated from the start, as far as places are free
        ComputerSkill computerSkill = ComputerSkill::Normal;
        bool computerTakeover = true;
    };

    struct Cache {
        QString ip = QStringLiteral("...");  // the empty form of the address field
        int filter = 0;
    };

    // Loads "settings.ini" from directory (the working directory when empty);
    // a missing file or key gives the defaults.
    explicit ClientSettings(const QString& directory = QString());
    ~ClientSettings();
    ClientSettings(const ClientSettings&) = delete;
    ClientSettings& operator=(const ClientSettings&) = delete;

    Options options;
    Hosting hosting;
    Cache cache;

    // The default names: the translated "Player" followed by the number.
    static QString defaultName(int player);
    // Takes the options the GUI chose, all but the colours, with the names
    // made safe; saveOptions writes them.
    void takeOptions(Options chosen);

    QString filePath() const;
    bool isWritable() const;
    // Whether the file holds a visual quality: none on the first start, when
    // the game measures which one the machine holds.
    bool qualitySaved() const;

    // Each returns false, and writes nothing, when the file cannot be written;
    // a write that fails on the way also returns false.
    bool saveOptions();
    bool saveServerSettings();
    // The cache is written without a check: losing it costs nothing.
    void saveCache();

private:
    bool flush();

    std::unique_ptr<QSettings> file_;
};

// A game the GUI asks the client to host: the host screen's values, whether
// the game stays on this computer (singleplayer or local splitscreen) and
// whether two play on one screen. The password is as it goes to the server:
// the marker character before what was typed, or empty for a local game.
struct HostRequest {
    ClientSettings::Hosting hosting;
    bool singleplayer = false;
    bool splitscreen = false;
};
