#pragma once

#include <QHostAddress>
#include <QString>

// Where the master server is: "masterserver.ini" in a directory (the working
// directory by default). Both the game server and the client read it.
struct MasterserverSettings {
    QString addressText;   // as written in the file
    QHostAddress address;  // null: no master server
    int port = 27404;
    // The master server's IPv6 address beside an IPv4 one (a name with both
    // records); game servers register there too. Null: none.
    QHostAddress address6{};

    bool isSet() const { return !address.isNull(); }

    // Reads the file; a missing file or key gives the defaults. The address is
    // taken as a numeric address first, else, with lookUpNames, looked up as a
    // host name (blocking, first address found); nothing found leaves it null.
    // Without lookUpNames a name leaves it null for the reader to look up.
    static MasterserverSettings load(const QString& directory = QString(), bool lookUpNames = true);
    // The same from a file of any name.
    static MasterserverSettings loadFile(const QString& path, bool lookUpNames = true);
    // The same resolution for any text; the IPv6 address beside, if asked.
    static QHostAddress resolve(const QString& text, QHostAddress* address6 = nullptr);
};
