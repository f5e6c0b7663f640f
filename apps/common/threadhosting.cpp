#include "threadhosting.h"

#include <QLoggingCategory>
#include <optional>

#include "server/threadserver.h"

// The own server is part of hosting: its failure logs with the client.
Q_LOGGING_CATEGORY(lcHosting, "quadrell.client", QtWarningMsg)

namespace {

// The router's answers, kept from the moment the thread starts: the server
// may hear from the router before its owner asks to be told.
struct MappingRelay {
    std::optional<PortMapping> latest;
    EmbeddedServer::MappingReport report;

    void take(const PortMapping& mapping) {
        latest = mapping;
        if (report) {
            report(mapping);
        }
    }
};

class ServerThread : public EmbeddedServer {
public:
    ServerThread(std::unique_ptr<ThreadServer> thread, int port,
                 std::shared_ptr<MappingRelay> relay)
        : thread_(std::move(thread)), port_(port), relay_(std::move(relay)) {}
    ~ServerThread() override {
        thread_->exit(0);
        thread_->wait();
    }
    int port() const override { return port_; }
    void addComputer() override { thread_->addComputer(); }
    void reportPortMapping(MappingReport report) override {
        relay_->report = std::move(report);
        if (relay_->latest) {
            relay_->report(*relay_->latest);
        }
    }

private:
    std::unique_ptr<ThreadServer> thread_;
    int port_;
    std::shared_ptr<MappingRelay> relay_;
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
        thread->setPortMapping(hosting.portMapTimings, hosting.portMapMethods);
        // Queued to the owner's thread; the connection dies with the thread object.
        auto relay = std::make_shared<MappingRelay>();
        QObject::connect(thread.get(), &ThreadServer::changedPortMapping, thread.get(),
                         [relay](const PortMapping& mapping) { relay->take(mapping); });
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
