#include "threadhosting.h"

#include <QLoggingCategory>
#include <optional>

#include "server/threadserver.h"

// The own server is part of hosting: its failure logs with the client.
Q_LOGGING_CATEGORY(lcHosting, "quadrell.client", QtWarningMsg)

namespace {

// What the server hears of its reach, kept from the moment the thread starts:
// it may hear from the router or the master server before its owner asks.
template <typename Value>
struct LatestRelay {
    std::optional<Value> latest;
    std::function<void(const Value&)> report;

    void take(const Value& value) {
        latest = value;
        if (report) {
            report(value);
        }
    }
    void reportTo(std::function<void(const Value&)> to) {
        report = std::move(to);
        if (latest) {
            report(*latest);
        }
    }
};

struct Relays {
    LatestRelay<PortMapping> mapping;
    LatestRelay<PayloadCodec::RegistrationAnswer> invite;
};

class ServerThread : public EmbeddedServer {
public:
    ServerThread(std::unique_ptr<ThreadServer> thread, int port, std::shared_ptr<Relays> relay)
        : thread_(std::move(thread)), port_(port), relay_(std::move(relay)) {}
    ~ServerThread() override {
        thread_->exit(0);
        thread_->wait();
    }
    int port() const override { return port_; }
    void addComputer() override { thread_->addComputer(); }
    void reportPortMapping(MappingReport report) override {
        relay_->mapping.reportTo(std::move(report));
    }
    void reportInvite(InviteReport report) override { relay_->invite.reportTo(std::move(report)); }

private:
    std::unique_ptr<ThreadServer> thread_;
    int port_;
    std::shared_ptr<Relays> relay_;
};

}  // namespace

ServerStarter threadServerStarter(const ThreadHosting& hosting) {
    return [hosting](const ServerSettings& host) -> std::unique_ptr<EmbeddedServer> {
        auto thread = std::make_unique<ThreadServer>(host);
        thread->setTimings(hosting.timings, hosting.serverTimings);
        thread->setAddress(hosting.listenAddress);
        if (!hosting.directory.isEmpty()) {
            thread->setDirectory(hosting.directory);
        }
        thread->setReplayFolder(hosting.replayFolder);
        thread->setPortMapping(hosting.portMapTimings, hosting.portMapMethods);
        // Queued to the owner's thread; the connection dies with the thread object.
        auto relay = std::make_shared<Relays>();
        QObject::connect(thread.get(), &ThreadServer::changedPortMapping, thread.get(),
                         [relay](const PortMapping& mapping) { relay->mapping.take(mapping); });
        QObject::connect(
            thread.get(), &ThreadServer::changedInvite, thread.get(),
            [relay](const PayloadCodec::RegistrationAnswer& a) { relay->invite.take(a); });
        thread->start();
        // The client connects right after this: the sockets must be open by then.
        const int port = thread->waitForListening(hosting.listenTimeoutMs);
        if (port < 0) {
            qCDebug(lcHosting) << "own server did not start:" << thread->errorString();
            return nullptr;  // the thread is told to quit and waited for
        }
        return std::make_unique<ServerThread>(std::move(thread), port, std::move(relay));
    };
}
