#pragma once

#include <cstdint>
#include <memory>

#include "network/losssimulation.h"
#include "network/networktimings.h"

class ClientConnection;
class MasterConnection;

// How the client reaches the network: the timings of its connections. The
// defaults are the game's; tests shorten them.
struct ClientNetwork {
    NetworkTimings timings;
    // Share of the game's datagrams lost on purpose each way, in percent, the
    // delay added to them, and the seed of both: for soak runs and tests of
    // play through loss and over a slow network.
    int datagramLossPercent = 0;
    Latency latency;
    std::uint32_t lossSeed = 1;
    // The connections are served on a thread of their own: a long frame then
    // holds back no datagram and no answer to the server's pings. Off: they
    // run on the caller's thread, as tests of exact call timing want.
    bool ownThread = true;
};

// The client's three connections, as the Client takes them.
struct ClientConnections {
    std::unique_ptr<ClientConnection> stream;
    std::unique_ptr<ClientConnection> datagram;
    std::unique_ptr<MasterConnection> master;
};

// The client's three connections: the game stream and the game datagrams, both
// dropped after timings.clientInactivityMs of silence, and the master server
// and probe connection, which never times out. The game datagrams keep the
// server's side alive and lose and wait what the network settings say.
std::unique_ptr<ClientConnection> makeStreamConnection(const NetworkTimings& timings);
std::unique_ptr<ClientConnection> makeDatagramConnection(const ClientNetwork& network);
std::unique_ptr<MasterConnection> makeMasterConnection(const NetworkTimings& timings);
// All three, with network.ownThread on one thread that ends when the last of
// them is destroyed.
ClientConnections makeClientConnections(const ClientNetwork& network);
