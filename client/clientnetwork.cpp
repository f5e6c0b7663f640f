#include "clientnetwork.h"

#include "network/connectionfacades.h"
#include "network/peertransport.h"
#include "network/threadedconnection.h"

namespace {

// The client side says nothing about itself in its connections: no name, no
// password, no host key of its own (those travel in each hello), no pings.
ConnectionSettings clientSide(bool datagram, int timeout, const NetworkTimings& timings) {
    ConnectionSettings s;
    s.datagram = datagram;
    s.timeout = timeout;
    s.timings = timings;
    return s;
}

}  // namespace

std::unique_ptr<ClientConnection> makeStreamConnection(const NetworkTimings& timings) {
    return std::make_unique<NetClientConnection>(
        clientSide(false, timings.clientInactivityMs, timings),
        std::make_unique<PeerTransport>(PeerTransport::Kind::Tcp));
}

std::unique_ptr<ClientConnection> makeDatagramConnection(const ClientNetwork& network) {
    const NetworkTimings& timings = network.timings;
    auto c = std::make_unique<NetClientConnection>(
        clientSide(true, timings.clientInactivityMs, timings),
        std::make_unique<PeerTransport>(PeerTransport::Kind::Udp));
    c->core().setKeepAlive(timings.keepAliveMs, timings.quietResendMs);
    c->core().lossSimulation().loseShare(network.datagramLossPercent, network.lossSeed);
    c->core().lossSimulation().delay(network.latency, network.lossSeed);
    return c;
}

std::unique_ptr<MasterConnection> makeMasterConnection(const NetworkTimings& timings) {
    return std::make_unique<NetMasterConnection>(
        clientSide(false, -1, timings), std::make_unique<PeerTransport>(PeerTransport::Kind::Udp));
}

ClientConnections makeClientConnections(const ClientNetwork& network) {
    if (!network.ownThread) {
        return {makeStreamConnection(network.timings), makeDatagramConnection(network),
                makeMasterConnection(network.timings)};
    }
    // Each real connection is made on the thread, its core set up there too:
    // nothing on this thread ever touches it.
    auto thread = std::make_shared<ConnectionThread>();
    return {std::make_unique<ThreadedClientConnection>(
                thread, [timings = network.timings] { return makeStreamConnection(timings); }),
            std::make_unique<ThreadedClientConnection>(
                thread, [network] { return makeDatagramConnection(network); }),
            std::make_unique<ThreadedMasterConnection>(
                thread, [timings = network.timings] { return makeMasterConnection(timings); })};
}
