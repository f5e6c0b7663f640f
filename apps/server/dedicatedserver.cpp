#include "dedicatedserver.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <cstdio>

#include "network/endpoint.h"
#include "portmap/reachability.h"
#include "server/server.h"
#include "server/statsreport.h"
#include "terminationsignals.h"

namespace {

ServerHostOptions hostOptions(const DedicatedOptions& d, const NetworkTimings& network,
                              const ServerTimings& server) {
    ServerHostOptions o;
    o.settings.name = d.name;
    o.settings.port = d.port;
    o.settings.maxPlayers = d.maxPlayers;
    o.settings.stats = d.ranked;
    o.settings.usePassword = d.usePassword;
    o.settings.password = d.password;
    o.settings.computers = d.computers;
    o.settings.computerSkill = d.computerSkill;
    o.settings.computerTakeover = d.computerTakeover;
    o.networkTimings = network;
    o.serverTimings = server;
    o.serverTimings.heartbeatMs = d.heartbeatMs;
    o.masterConfig = d.masterConfig;
    // Beside the unsent reports, in the server's own folder.
    o.replayFolder = QDir(d.stateDir.isEmpty() ? QDir::currentPath() : d.stateDir)
                         .filePath(QStringLiteral("replays"));
    o.dedicated = true;
    o.settings.openPort = d.openPort;
    o.settings.listed = d.listed;
    o.portMapTimings.leaseSeconds = d.portLeaseSeconds;
    o.serverTimings.statsFirstPauseMs = d.statsRetryMs;
    return o;
}

QString yesNo(PayloadCodec::Reach reach) {
    return reach == PayloadCodec::Reach::Yes ? QStringLiteral("yes") : QStringLiteral("no");
}

}  // namespace

DedicatedServer::DedicatedServer(const DedicatedOptions& options, const NetworkTimings& network,
                                 const ServerTimings& server, QObject* parent)
    : QObject(parent),
      options_(options),
      serverTimings_(server),
      host_(hostOptions(options, network, server)) {
    connect(&host_, &ServerHost::finished, this, &DedicatedServer::processHostFinished);
    connect(&host_, &ServerHost::changedPortMapping, this, [this](const PortMapping& m) {
        const QString line = Reachability::line(m, Reachability::Audience::Console);
        if (!line.isEmpty()) {
            Q_EMIT reachability(line);
        }
    });
    connect(&host_, &ServerHost::changedInvite, this,
            [this](const PayloadCodec::RegistrationAnswer& a) {
                if (a.code != code_) {
                    code_ = a.code;
                    Q_EMIT reachability(
                        QStringLiteral("invite code: %1").arg(InviteCode::display(a.code)));
                }
                using PayloadCodec::Reach;
                if (a.stream == Reach::Unknown || a.datagram == Reach::Unknown) {
                    return;
                }
                const QString endpoint = Endpoint{QHostAddress(a.address), a.port}.text();
                Q_EMIT reachability(
                    a.stream == Reach::Yes && a.datagram == Reach::Yes
                        ? QStringLiteral("quadrell-server reachable directly at %1 (checked by "
                                         "the master server)")
                              .arg(endpoint)
                        : QStringLiteral("quadrell-server not reachable directly at %1 (checked "
                                         "by the master server): stream %2, datagrams %3")
                              .arg(endpoint, yesNo(a.stream), yesNo(a.datagram)));
            });
    connect(&host_, &ServerHost::changedRelay, this,
            [this](const QString& stream, const QString& datagram) {
                Q_EMIT reachability(
                    stream.isEmpty()
                        ? QStringLiteral("quadrell-server not reachable through the relay")
                        : QStringLiteral("quadrell-server reachable through the relay at %1 "
                                         "(stream) and %2 (datagrams)")
                              .arg(stream, datagram));
            });
}

DedicatedServer::~DedicatedServer() {
    if (Server* server = host_.server()) {
        server->setTickMonitor(nullptr);
    }
}

bool DedicatedServer::start() {
    if (!host_.listen()) {
        return false;
    }
    Server* server = host_.start();
    if (StatsReport* report = server->statsReport()) {
        connect(report, &StatsReport::storageError, this, [](const QString& message) {
            std::fprintf(stderr, "quadrell-server: %s\n", qPrintable(message));
        });
        // Beside the other state of this server, not its configuration,
        // which may well be read-only.
        report->keepUnsentIn(
            QDir(options_.stateDir.isEmpty() ? QDir::currentPath() : options_.stateDir)
                .filePath(QLatin1String(kUnsentReportsFile)));
    }
    if (!options_.statsFile.isEmpty()) {
        server->setTickMonitor(&monitor_);
    }
    uptime_.start();
    return true;
}

bool DedicatedServer::catchSignals() {
    if (signals_ == nullptr) {
        signals_ = new TerminationSignals(this);
        connect(signals_, &TerminationSignals::terminationRequested, this, &DedicatedServer::stop);
    }
    return signals_->isValid();
}

void DedicatedServer::stop() {
    host_.shutDown();
}

void DedicatedServer::processHostFinished() {
    int exitCode = 0;
    if (!options_.statsFile.isEmpty()) {
        QSaveFile file(options_.statsFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(statsReport()) < 0 || !file.commit()) {
            std::fprintf(stderr, "quadrell-server: cannot write '%s': %s\n",
                         qPrintable(options_.statsFile), qPrintable(file.errorString()));
            exitCode = 1;
        }
    }
    Q_EMIT finished(exitCode);
}

QByteArray DedicatedServer::statsReport() const {
    QJsonArray clients;
    for (const auto& [clientId, traffic] : host_.traffic()) {
        if (clientId < 0) {
            continue;  // handshakes and probes of peers that never joined
        }
        clients.append(QJsonObject{{QStringLiteral("clientId"), clientId},
                                   {QStringLiteral("streamBytes"), traffic.streamBytes},
                                   {QStringLiteral("datagramBytes"), traffic.datagramBytes},
                                   {QStringLiteral("resendRequests"), traffic.resendRequests}});
    }
    const QJsonObject report{
        {QStringLiteral("ticks"), monitor_.ticks()},
        {QStringLiteral("nominalTickMs"), serverTimings_.tickMs},
        {QStringLiteral("tickWorkMicroseconds"), monitor_.workMicroseconds().toJson()},
        {QStringLiteral("tickPeriodMilliseconds"), monitor_.periodMilliseconds().toJson()},
        {QStringLiteral("tickJitterMilliseconds"),
         monitor_.jitterMilliseconds(serverTimings_.tickMs).toJson()},
        {QStringLiteral("tickingSeconds"), monitor_.tickingSeconds()},
        {QStringLiteral("uptimeSeconds"), uptime_.isValid() ? uptime_.elapsed() / 1000.0 : 0.0},
        {QStringLiteral("clients"), clients},
    };
    return QJsonDocument(report).toJson();
}
