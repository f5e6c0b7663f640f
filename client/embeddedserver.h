#pragma once

#include <QString>
#include <functional>
#include <memory>

// What the hosting client hands to its own game server.
struct HostSettings {
    QString name;
    int port = 27403;
    int maxPlayers = 4;
    bool singleplayer = false;
    bool stats = false;
    int hostKey = -1;
    bool usePassword = false;
    QString password;  // as the client sends it (marker included); empty without password
};

// A running game server owned by the hosting client. Destroying it stops the
// server: its event loop is told to quit with code 0 and the destructor waits,
// without limit, until it has.
class EmbeddedServer {
public:
    virtual ~EmbeddedServer() = default;
    // The port it listens on (the one asked for, or the one found for port 0).
    virtual int port() const = 0;
};

// Starts a game server with the given settings and returns once it listens;
// nullptr when it could not be started.
using ServerStarter = std::function<std::unique_ptr<EmbeddedServer>(const HostSettings&)>;
