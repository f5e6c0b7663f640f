#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "network/payloadcodec.h"
#include "network/serversettings.h"
#include "portmap/portmapping.h"

// The seam between the hosting client and the game server it runs: the client
// knows only these two, and the program that hosts hands it a ServerStarter
// (the game's runs the server in a thread of its own).

// A running game server owned by the hosting client. Destroying it stops the
// server: its event loop is told to quit with code 0 and the destructor waits,
// without limit, until it has.
class EmbeddedServer {
public:
    virtual ~EmbeddedServer() = default;
    // The port it listens on (the one asked for, or the one found for port 0).
    virtual int port() const = 0;
    // Seats one more computer player while the lobby has a free place.
    virtual void addComputer() = 0;
    // Where friends can reach the game, on each answer of the router; called
    // in the owner's thread, never after the server is destroyed.
    using MappingReport = std::function<void(const PortMapping&)>;
    virtual void reportPortMapping(MappingReport report) = 0;
    // The master server's invite code for the game and its reach, likewise.
    using InviteReport = std::function<void(const PayloadCodec::RegistrationAnswer&)>;
    virtual void reportInvite(InviteReport report) = 0;
};

// Starts a game server with the given settings and returns once it listens;
// nullptr when it could not be started.
using ServerStarter = std::function<std::unique_ptr<EmbeddedServer>(const ServerSettings&)>;
