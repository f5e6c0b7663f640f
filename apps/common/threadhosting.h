#pragma once

#include <QHostAddress>
#include <QString>

#include "client/embeddedserver.h"
#include "network/networktimings.h"
#include "portmap/portmapper.h"
#include "server/serversettings.h"

// How a hosting program runs the client's own game server: in a ThreadServer,
// with these timings, on this address. The defaults are the game's; tests
// shorten them and keep the server on the loopback address.
struct ThreadHosting {
    NetworkTimings timings;
    ServerTimings serverTimings;
    // Where the own server listens: every interface, so that others can join.
    QHostAddress listenAddress = QHostAddress(QHostAddress::Any);
    // How long hosting waits for the own server's sockets before giving up.
    int listenTimeoutMs = 10000;
    // Holds the server's "masterserver.ini" (empty: the working directory).
    QString directory;
    // Where the own server keeps finished games (empty: nowhere).
    QString replayFolder;
    // How the router is asked for the port (ServerSettings::openPort); no
    // methods: the router's own, as quadrell-server asks it.
    PortMapTimings portMapTimings;
    std::vector<PortMapper::MethodFactory> portMapMethods;
};

// Runs the own game server in a ThreadServer and hands it over once its
// sockets are open; nullptr (the thread already ended) when they cannot be had.
ServerStarter threadServerStarter(const ThreadHosting& hosting);
