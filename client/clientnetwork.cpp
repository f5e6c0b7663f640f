#include "clientnetwork.h"

#include "network/connectionsockettcp.h"
#include "network/connectionsocketudp.h"

namespace {

// The client side says nothing about itself in its connections: no name, no
// password, no host key of its own (those travel in each hello), no pings.
template <typename Connection>
std::unique_ptr<Connection> make(bool datagram, int timeout, const NetworkTimings& timings) {
    auto c = std::make_unique<Connection>(QString(), 4, false, false, 0, datagram, -1, false,
                                          QString(), timeout);
    c->setTimings(timings);
    return c;
}

}  // namespace

std::unique_ptr<ConnectionInterface> makeStreamConnection(const NetworkTimings& timings) {
    return make<ConnectionSocketTcp>(false, timings.clientInactivityMs, timings);
}

std::unique_ptr<ConnectionInterface> makeDatagramConnection(const ClientNetwork& network) {
    const NetworkTimings& timings = network.timings;
    auto c = make<ConnectionSocketUdp>(true, timings.clientInactivityMs, timings);
    c->setKeepAlive(timings.keepAliveMs, timings.quietResendMs);
    c->lossSimulation().loseShare(network.datagramLossPercent, network.lossSeed);
    return c;
}

std::unique_ptr<ConnectionInterface> makeMasterConnection(const NetworkTimings& timings) {
    return make<ConnectionSocketUdp>(false, -1, timings);
}
