#pragma once

#include <QHostAddress>
#include <QString>
#include <cstdint>
#include <memory>

#include "client/embeddedserver.h"
#include "network/networktimings.h"
#include "server/serversettings.h"

class ClientConnection;
class MasterConnection;

// How the client reaches the network: the timings of its connections and of
// the game server it runs when hosting. The defaults are the game's; tests
// shorten them and keep the own server on the loopback address.
struct ClientNetwork {
    NetworkTimings timings;
    ServerTimings serverTimings;
    // Where the own server listens: every interface, so that others can join.
    QHostAddress listenAddress = QHostAddress(QHostAddress::AnyIPv4);
    // How long hosting waits for the own server's sockets before giving up.
    int listenTimeoutMs = 10000;
    // Share of the game's datagrams lost on purpose each way, in percent, and
    // the seed of that loss: for soak runs and tests of play through loss.
    int datagramLossPercent = 0;
    std::uint32_t lossSeed = 1;
};

// The client's three connections: the game stream and the game datagrams, both
// dropped after timings.clientInactivityMs of silence, and the master server
// and probe connection, which never times out. The game datagrams keep the
// server's side alive and lose what the network settings say.
std::unique_ptr<ClientConnection> makeStreamConnection(const NetworkTimings& timings);
std::unique_ptr<ClientConnection> makeDatagramConnection(const ClientNetwork& network);
std::unique_ptr<MasterConnection> makeMasterConnection(const NetworkTimings& timings);

// Runs the own game server in a ThreadServer and hands it over once its
// sockets are open; nullptr (the thread already ended) when they cannot be
// had. directory holds the server's "masterserver.ini" (empty: the working
// directory).
ServerStarter threadServerStarter(const ClientNetwork& network, const QString& directory);
