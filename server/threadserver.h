#pragma once

#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include "server/serverhost.h"

// The hosting client's game server in a thread of its own. The thread seeds
// its random generator with the seconds since midnight, opens the sockets,
// creates the Server and runs its event loop until told to quit; everything
// it made is destroyed in the thread before run() returns (the master server
// hears "SOF" then, and the router gets the port back). The Server may have
// deleted itself on shutdown before.
//
// Stopping it: exit(0), wait(), delete.
class ThreadServer : public QThread {
    Q_OBJECT

public:
    explicit ThreadServer(const ServerSettings& settings);
    ~ThreadServer() override;

    // Before start(), for tests: shorter timings, the address to listen on and
    // the directory whose "masterserver.ini" is read (the working directory
    // by default).
    void setTimings(const NetworkTimings& network, const ServerTimings& server);
    void setAddress(const QHostAddress& address);
    void setDirectory(const QString& directory);
    // Where finished games are kept as replays (none by default).
    void setReplayFolder(const QString& folder);
    // How the router is asked for the port; no methods: the router's own.
    void setPortMapping(const PortMapTimings& timings,
                        std::vector<PortMapper::MethodFactory> methods = {});

    // Blocks until the sockets are open or could not be opened, at most
    // timeoutMs. The port listened on, or -1 (failed: errorString(); or no
    // answer in time). Opening the sockets takes no more than a moment.
    int waitForListening(int timeoutMs);
    QString errorString() const;

    // The host's lobby action, from any thread: Server::addComputer on the
    // server's thread. Nothing happens before the server runs or once it ended.
    void addComputer();

Q_SIGNALS:
    // From the server thread: where friends can reach the game (ServerSettings::openPort).
    void changedPortMapping(PortMapping mapping);
    void changedInvite(PayloadCodec::RegistrationAnswer invite);

protected:
    void run() override;

private:
    void report(int port, const QString& error);
    void setHost(ServerHost* host);

    ServerHostOptions options_;
    mutable QMutex resultMutex_;
    QWaitCondition resultReady_;
    bool reported_ = false;
    int port_ = -1;
    QString error_;
    ServerHost* host_ = nullptr;  // while run() has it; under resultMutex_
};
