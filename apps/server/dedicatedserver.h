#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <memory>

#include "apps/server/serveroptions.h"
#include "server/serverhost.h"
#include "server/tickmonitor.h"

class TerminationSignals;

// The headless game server: one ServerHost in dedicated mode, stopped in
// order on SIGINT or SIGTERM (clients hear "SSHD", the master server "SOF"),
// optionally writing tick and traffic figures when it ends.
class DedicatedServer : public QObject {
    Q_OBJECT

public:
    // timings: shortened by tests; the protocol's by default.
    explicit DedicatedServer(const DedicatedOptions& options, const NetworkTimings& network = {},
                             const ServerTimings& server = {}, QObject* parent = nullptr);
    ~DedicatedServer() override;

    // Opens the sockets and starts the server; false with errorString() when
    // the port cannot be had.
    bool start();
    int port() const { return host_.port(); }
    QString errorString() const { return host_.errorString(); }

    // Routes SIGINT and SIGTERM to stop(); call once, after start().
    bool catchSignals();
    // Ends the server in order; finished(exitCode) follows.
    void stop();

    // The figures of the stats file as JSON.
    QByteArray statsReport() const;

Q_SIGNALS:
    void finished(int exitCode);
    // Where players can reach the server, on each change: the router's
    // answer (with --open-port), the invite code and the master server's check.
    void reachability(QString line);

private:
    void processHostFinished();

    DedicatedOptions options_;
    ServerTimings serverTimings_;
    TickMonitor monitor_;  // before the host: the Server may still point at it
    ServerHost host_;
    QElapsedTimer uptime_;
    TerminationSignals* signals_ = nullptr;
    QString code_;  // the invite code printed last
};
