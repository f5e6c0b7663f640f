#include "clientnetwork.h"

#include <QLoggingCategory>

#include "network/connectionfacades.h"
#include "network/peertransport.h"
#include "server/threadserver.h"

Q_DECLARE_LOGGING_CATEGORY(lcClient)

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

class ServerThread : public EmbeddedServer {
public:
    ServerThread(std::unique_ptr<ThreadServer> thread, int port)
        : thread_(std::move(thread)), port_(port) {}
    ~ServerThread() override {
        thread_->exit(0);
        thread_->wait();
    }
    int port() const override { return port_; }

private:
    std::unique_ptr<ThreadServer> thread_;
    int port_;
};

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
    return c;
}

std::unique_ptr<MasterConnection> makeMasterConnection(const NetworkTimings& timings) {
    return std::make_unique<NetMasterConnection>(
        clientSide(false, -1, timings), std::make_unique<PeerTransport>(PeerTransport::Kind::Udp));
}

ServerStarter threadServerStarter(const ClientNetwork& network, const QString& directory) {
    return [network, directory](const ServerSettings& host) -> std::unique_ptr<EmbeddedServer> {
        auto thread = std::make_unique<ThreadServer>(host);
        thread->setTimings(network.timings, network.serverTimings);
        thread->setAddress(network.listenAddress);
        if (!directory.isEmpty()) {
            thread->setDirectory(directory);
        }
        thread->start();
        // The client connects right after this: the sockets must be open by then.
        const int port = thread->waitForListening(network.listenTimeoutMs);
        if (port < 0) {
            qCDebug(lcClient) << "own server did not start:" << thread->errorString();
            return nullptr;  // the thread is told to quit and waited for
        }
        return std::make_unique<ServerThread>(std::move(thread), port);
    };
}
