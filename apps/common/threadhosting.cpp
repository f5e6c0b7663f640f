#include "threadhosting.h"

#include <QLoggingCategory>

#include "server/threadserver.h"

// The own server is part of hosting: its failure logs with the client.
Q_LOGGING_CATEGORY(lcHosting, "quadrell.client", QtWarningMsg)

namespace {

class ServerThread : public EmbeddedServer {
public:
    ServerThread(std::unique_ptr<ThreadServer> thread, int port)
        : thread_(std::move(thread)), port_(port) {}
    ~ServerThread() override {
        thread_->exit(0);
        thread_->wait();
    }
    int port() const override { return port_; }
    void addComputer() override { thread_->addComputer(); }
    void reportPortMapping(MappingReport report) override {
        // Queued to the owner's thread; the connection dies with the thread object.
        QObject::connect(thread_.get(), &ThreadServer::changedPortMapping, thread_.get(),
                         std::move(report));
    }

private:
    std::unique_ptr<ThreadServer> thread_;
    int port_;
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
        thread->start();
        // The client connects right after this: the sockets must be open by then.
        const int port = thread->waitForListening(hosting.listenTimeoutMs);
        if (port < 0) {
            qCDebug(lcHosting) << "own server did not start:" << thread->errorString();
            return nullptr;  // the thread is told to quit and waited for
        }
        return std::make_unique<ServerThread>(std::move(thread), port);
    };
}
