#include "threadserver.h"

#include <QDeadlineTimer>
#include <QDir>

#include "game/appinfo.h"
#include "game/randomsource.h"
#include "server/server.h"

ThreadServer::ThreadServer(const ServerSettings& settings) {
    options_.settings = settings;
}

ThreadServer::~ThreadServer() {
    // An owner that forgot to stop the thread must not crash the program.
    if (isRunning()) {
        exit(0);
        wait();
    }
}

void ThreadServer::setTimings(const NetworkTimings& network, const ServerTimings& server) {
    options_.networkTimings = network;
    options_.serverTimings = server;
}

void ThreadServer::setAddress(const QHostAddress& address) {
    options_.address = address;
}

void ThreadServer::setReplayFolder(const QString& folder) {
    options_.replayFolder = folder;
}

void ThreadServer::setDirectory(const QString& directory) {
    options_.masterConfig = QDir(directory).filePath(QLatin1String(Quadrell::kMasterserverFile));
}

void ThreadServer::setPortMapping(const PortMapTimings& timings,
                                  std::vector<PortMapper::MethodFactory> methods) {
    options_.portMapTimings = timings;
    options_.portMapMethods = std::move(methods);
}

int ThreadServer::waitForListening(int timeoutMs) {
    QMutexLocker lock(&resultMutex_);
    const QDeadlineTimer deadline(timeoutMs);
    while (!reported_) {
        if (!resultReady_.wait(&resultMutex_, deadline)) {
            break;
        }
    }
    return reported_ ? port_ : -1;
}

QString ThreadServer::errorString() const {
    QMutexLocker lock(&resultMutex_);
    return error_;
}

void ThreadServer::addComputer() {
    // Posted while run() cannot drop the host: a host destroyed later takes
    // the event with it.
    QMutexLocker lock(&resultMutex_);
    if (host_) {
        QMetaObject::invokeMethod(
            host_,
            [host = host_] {
                if (Server* server = host->server()) {
                    server->addComputer();
                }
            },
            Qt::QueuedConnection);
    }
}

void ThreadServer::setHost(ServerHost* host) {
    QMutexLocker lock(&resultMutex_);
    host_ = host;
}

void ThreadServer::report(int port, const QString& error) {
    {
        QMutexLocker lock(&resultMutex_);
        reported_ = true;
        port_ = port;
        error_ = error;
    }
    resultReady_.wakeAll();
}

void ThreadServer::run() {
    // Each game's seed is drawn in this thread, from this one.
    RandomSource::forThisThread().seed(RandomSource::secondsSinceMidnight());
    ServerHost host(options_);
    if (!host.listen()) {
        report(-1, host.errorString());
        return;
    }
    report(host.port(), QString());
    connect(&host, &ServerHost::changedPortMapping, this, &ThreadServer::changedPortMapping);
    connect(&host, &ServerHost::changedInvite, this, &ThreadServer::changedInvite);
    host.start();
    setHost(&host);
    exec();
    host.releasePortAndWait();
    setHost(nullptr);
    // host goes here, in this thread: the Server (if still there) first, then the sockets.
}
