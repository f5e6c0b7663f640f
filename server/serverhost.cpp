#include "serverhost.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>
#include <algorithm>

#include "game/appinfo.h"
#include "network/connectionfacades.h"
#include "network/endpoint.h"
#include "network/masterserversettings.h"
#include "network/peertransport.h"
#include "network/shareddatagramtransport.h"
#include "network/socketabstract.h"
#include "server/masterannouncer.h"
#include "server/relayhost.h"
#include "server/server.h"
#include "server/statsreport.h"
#include "serverlog.h"

namespace {

// With port 0 the listener picks a free port, which may be taken for
// datagrams; a few more picks find one that is free for both.
constexpr int kFreePortAttempts = 8;
constexpr int kFlushPollMs = 5;

}  // namespace

// Hands every accepted stream to the stream connection while it exists.
class ServerHost::Listener : public QTcpServer {
public:
    explicit Listener(QObject* parent) : QTcpServer(parent) {}

    QPointer<NetServerConnection> target;

protected:
    void incomingConnection(qintptr descriptor) override {
        if (target) {
            target->acceptSocket(descriptor, {});
            return;
        }
        QTcpSocket orphan;  // closes the descriptor when it goes
        orphan.setSocketDescriptor(descriptor);
    }
};

ServerHost::ServerHost(const ServerHostOptions& options, QObject* parent)
    : QObject(parent), options_(options) {}

ServerHost::~ServerHost() {
    // The Server first: it says goodbye to the master server while its
    // sockets are still open. No finished() from a host being destroyed.
    if (server_) {
        disconnect(server_, nullptr, this, nullptr);
        delete server_.data();
    }
    delete listener_;
}

bool ServerHost::listen() {
    if (port_ >= 0) {
        return true;
    }
    const int wanted = options_.settings.port;
    if (wanted < 0 || wanted > 65535) {
        error_ = tr("%1 is not a port number.").arg(wanted);
        return false;
    }
    const int attempts = wanted == 0 ? kFreePortAttempts : 1;
    for (int i = 0; i < attempts; ++i) {
        auto listener = std::make_unique<Listener>(this);
        if (!listener->listen(options_.address, static_cast<quint16>(wanted))) {
            // A machine without IPv6 has no sockets for both families.
            const bool both = options_.address == QHostAddress(QHostAddress::Any);
            if (!both || !listener->listen(QHostAddress(QHostAddress::AnyIPv4), quint16(wanted))) {
                error_ =
                    tr("Cannot listen on port %1: %2").arg(wanted).arg(listener->errorString());
                return false;
            }
            options_.address = QHostAddress(QHostAddress::AnyIPv4);
        }
        const quint16 port = listener->serverPort();
        auto socket = std::make_unique<QUdpSocket>();
        // Exclusive: a second server must not share the port unnoticed.
        if (socket->bind(options_.address, port, QAbstractSocket::DontShareAddress)) {
            listener_ = listener.release();
            datagramSocket_ = std::move(socket);
            port_ = port;
            error_.clear();
            qCDebug(lcServer) << "listening on port" << port_;
            listenForQuestions();
            return true;
        }
        error_ = tr("Cannot receive datagrams on port %1: %2").arg(port).arg(socket->errorString());
    }
    return false;
}

void ServerHost::listenForQuestions() {
    if (options_.settings.singleplayer || options_.address.isLoopback()) {
        return;
    }
    // Shared: a broadcast reaches every server of the machine bound this way.
    auto socket = std::make_unique<QUdpSocket>();
    const auto shared = QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint;
    // The questions are IPv4 broadcasts.
    const QHostAddress where = options_.address == QHostAddress(QHostAddress::Any)
                                   ? QHostAddress(QHostAddress::AnyIPv4)
                                   : options_.address;
    if (socket->bind(where, quint16(options_.discoveryPort), shared)) {
        discoverySocket_ = std::move(socket);
    } else {
        qCWarning(lcServer).noquote()
            << "no LAN question heard on port" << options_.discoveryPort << "(found where port"
            << port_ << "is asked):" << socket->errorString();
    }
}

Server* ServerHost::start(RandomSource& random) {
    if (!datagramSocket_ || server_) {
        return nullptr;
    }
    const QString config =
        options_.masterConfig.isEmpty()
            ? QDir::current().filePath(QLatin1String(Quadrell::kMasterserverFile))
            : options_.masterConfig;
    const MasterserverSettings masterServer = MasterserverSettings::loadFile(config);
    const QUrl statsEndpoint = StatsReport::loadEndpointFile(config);

    ServerSettings s = options_.settings;
    s.port = port_;
    if (options_.dedicated) {
        s.hostKey = -1;  // nobody holds a key: the first client is host
    }
    const bool mapPort = s.openPort && !s.singleplayer && !options_.address.isLoopback();
    s.publicPort = mapPort ? 0 : -1;  // the master server hears of us once the router answered
    ConnectionSettings game;
    game.name = s.name;
    game.maxPlayers = s.maxPlayers;
    game.stats = s.stats;
    game.usePassword = s.usePassword;
    game.timeout = options_.networkTimings.serverInactivityMs;
    game.timings = options_.networkTimings;
    ConnectionSettings streamSide = game;
    streamSide.pingInterval = game.timings.serverTcpPingMs;
    ConnectionSettings datagramSide = game;
    datagramSide.pingInterval = game.timings.serverUdpPingMs;
    datagramSide.datagram = true;
    // The announcement's ranked flag comes from the master connection, so it
    // must know whether this server is ranked.
    ConnectionSettings masterSide;
    masterSide.stats = s.stats;
    masterSide.timings = game.timings;
    auto* stream = new NetServerConnection(
        streamSide, std::make_unique<PeerTransport>(PeerTransport::Kind::Tcp));
    auto shared = std::make_unique<SharedDatagramTransport>(datagramSocket_.release(),
                                                            std::move(discoverySocket_));
    sharedDatagrams_ = shared.get();  // lives as long as datagram_
    auto* datagram = new NetServerConnection(datagramSide, std::move(shared));
    auto* master = new NetMasterConnection(
        masterSide, std::make_unique<PeerTransport>(PeerTransport::Kind::Udp));
    stream_ = stream;
    datagram_ = datagram;
    listener_->target = stream;

    server_ = new Server(s, {stream, datagram, master}, {masterServer, statsEndpoint},
                         {options_.serverTimings, &random, nullptr, options_.replayFolder}, this);
    connect(server_, &QObject::destroyed, this, &ServerHost::processServerGone);
    connect(server_, &Server::changedInvite, this, &ServerHost::changedInvite);
    connect(&server_->announcer(), &MasterAnnouncer::changedInvite, this,
            &ServerHost::processInvite);
    connect(&server_->announcer(), &MasterAnnouncer::joinerComing, this,
            &ServerHost::processJoiner);
    puncher_ = new HolePuncher(
        [this](const Endpoint& to) {
            if (datagram_) {
                // Any message does; this one every receiver ignores.
                sharedDatagrams_->socketWrapper()->sendMessage(
                    to.address, to.port, ConnectionMessage(MessageCode::SLNE, {}));
            }
        },
        options_.punchTimings, this);
    connect(puncher_, &HolePuncher::connected, this, [this](qintptr descriptor, const Endpoint&) {
        if (!stream_ || stream_->acceptSocket(descriptor, {}) < 0) {
            QTcpSocket orphan;  // closes it
            orphan.setSocketDescriptor(descriptor);
        }
    });
    if (mapPort) {
        auto methods = options_.portMapMethods.empty()
                           ? PortMapper::systemMethods(options_.portMapTimings)
                           : options_.portMapMethods;
        portMapper_ = new PortMapper(port_, std::move(methods), options_.portMapTimings,
                                     &PortMapper::drawPort, this);
        connect(portMapper_, &PortMapper::changed, this, &ServerHost::processPortMapping);
        connect(portMapper_, &PortMapper::stopped, this, &ServerHost::processPortMapStopped);
        portMapper_->start();
    }
    return server_;
}

PortMapping ServerHost::portMapping() const {
    return portMapper_ ? portMapper_->mapping() : PortMapping{};
}

void ServerHost::processPortMapping(const PortMapping& mapping) {
    if (server_ && mapping.state != PortMapping::State::Pending) {
        server_->setPublicPort(mapping.state == PortMapping::State::Open ? mapping.externalPort
                                                                         : port_);
    }
    Q_EMIT changedPortMapping(mapping);
}

void ServerHost::processInvite(const PayloadCodec::RegistrationAnswer& invite) {
    const std::optional<Endpoint> at = Endpoint::parse(invite.relay);
    if (!server_ || !at || (relay_ && !relay_->failed())) {
        return;  // a working relay stays, also when its credentials are renewed
    }
    dropRelay();
    relay_ = new RelayHost({at->address.toString(), static_cast<quint16>(at->port),
                            invite.relayUser, invite.relayPassword},
                           options_.relayTimings, this);
    RelayHost* r = relay_;
    connect(r, &RelayHost::allocated, this, [this](const QString& stream, const QString& datagram) {
        if (server_) {
            server_->announcer().setRelayed(stream, datagram);
        }
        relayRetryMs_ = 0;
        Q_EMIT changedRelay(stream, datagram);
    });
    connect(r, &RelayHost::admitted, this, &ServerHost::processLetIn);
    connect(r, &RelayHost::arrived, this,
            [this](const QHostAddress& address, int port, const QByteArray& packet) {
                if (datagram_) {
                    sharedDatagrams_->arriveByDetour(address, port, packet);
                }
            });
    connect(r, &RelayHost::streamArrived, this,
            [this](qintptr descriptor, const QHostAddress& peer, int peerPort) {
                if (!stream_ ||
                    stream_->acceptSocket(descriptor, {Endpoint::plain(peer), peerPort}) < 0) {
                    QTcpSocket orphan;  // closes it
                    orphan.setSocketDescriptor(descriptor);
                }
            });
    connect(r, &RelayHost::gaveUp, this, [this](const QString& reason) {
        qCWarning(lcServer) << "the relay gave up:" << reason;
        if (server_) {
            server_->announcer().setRelayed({}, {});
        }
        // The master server offers the relay only once: ask it again ourselves.
        relayRetryMs_ =
            relayRetryMs_ > 0 ? std::min(2 * relayRetryMs_, 60000) : options_.relayRetryMs;
        QTimer::singleShot(relayRetryMs_, this, [this] {
            if (server_) {
                processInvite(server_->announcer().invite());
            }
        });
        Q_EMIT changedRelay({}, {});
    });
    sharedDatagrams_->setDetour(r);
    r->start();
}

void ServerHost::processJoiner(const QString& nonce, const Endpoint& joiner) {
    if (!server_) {
        return;
    }
    // Heard again (once per address family, and again while the joiner
    // waits): what the game said may have been lost, so it says it again.
    if (const auto j = joiners_.constFind(nonce); j != joiners_.constEnd()) {
        if (j->streamPort > 0) {
            sendReady(nonce, true);
        }
        if (j->letIn) {
            sendReady(nonce, false);
        }
        return;
    }
    if (joiners_.size() >= kMaxJoiners) {
        joiners_.clear();  // long answered: the master server waits a second at most
    }
    const int streamPort = puncher_->open(joiner);
    qCDebug(lcServer) << "a joiner comes from" << joiner.text()
                      << "- opened towards it, stream from" << streamPort;
    joiners_.insert(nonce, {joiner, streamPort, false});
    // Opened: the joiner may come at once, the relay's permissions follow
    // long before it would go that way.
    if (streamPort > 0) {
        sendReady(nonce, true);
    }
    if (relay_ && !relay_->failed()) {
        relay_->admit(nonce, joiner.address);
    } else {
        processLetIn(nonce);
    }
}

void ServerHost::processLetIn(const QString& nonce) {
    if (const auto j = joiners_.find(nonce); j != joiners_.end()) {
        j->letIn = true;
        sendReady(nonce, false);
    }
}

void ServerHost::sendReady(const QString& nonce, bool opened) {
    const auto j = joiners_.constFind(nonce);
    if (!server_ || !datagram_ || j == joiners_.constEnd()) {
        return;
    }
    const std::optional<Endpoint> master = server_->announcer().masterFor(j->at.address);
    if (master) {
        sharedDatagrams_->socketWrapper()->sendMessage(
            master->address, master->port,
            ConnectionMessage(MessageCode::SPN,
                              PayloadCodec::buildJoinerReady({nonce, opened ? j->streamPort : 0})));
    }
}

void ServerHost::dropRelay() {
    if (!relay_) {
        return;
    }
    if (datagram_) {
        sharedDatagrams_->setDetour(nullptr);
    }
    delete relay_.data();
}

void ServerHost::processPortMapStopped() {
    portMapStopped_ = true;
    if (!server_) {
        Q_EMIT finished();
    }
}

void ServerHost::releasePortAndWait() {
    if (!portMapper_ || portMapStopped_) {
        return;
    }
    portMapper_->stop();
    while (!portMapStopped_) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

Server* ServerHost::server() const {
    return server_;
}

std::map<int, ClientTraffic> ServerHost::traffic() const {
    if (!stream_ || !datagram_) {
        return traffic_;
    }
    std::map<int, ClientTraffic> out;
    for (const auto& [clientId, bytes] : stream_->core().bytesSent()) {
        out[clientId].streamBytes = bytes;
    }
    for (const auto& [clientId, bytes] : datagram_->core().bytesSent()) {
        out[clientId].datagramBytes = bytes;
    }
    for (const auto& [clientId, requests] : datagram_->core().resendRequests()) {
        out[clientId].resendRequests = requests;
    }
    return out;
}

void ServerHost::takeTraffic() {
    traffic_ = traffic();
}

void ServerHost::shutDown() {
    if (!server_) {
        Q_EMIT finished();
        return;
    }
    if (shuttingDown_) {
        return;
    }
    shuttingDown_ = true;
    listener_->close();
    // Flows already under way outlive the router's mapping, so the port goes
    // back while the goodbyes are still being delivered.
    if (portMapper_) {
        portMapper_->stop();
    }
    stream_->core().announceShutdown();
    datagram_->core().announceShutdown();
    // The streams close once what was written has gone out; the Server, their
    // owner, must not abort them before.
    auto* poll = new QTimer(this);
    const QDeadlineTimer deadline(options_.networkTimings.disconnectTimeoutMs);
    connect(poll, &QTimer::timeout, this, [this, poll, deadline] {
        if (stream_ && !stream_->findChildren<SocketAbstract*>().isEmpty() &&
            !deadline.hasExpired()) {
            return;
        }
        poll->deleteLater();
        endServer();
    });
    poll->start(kFlushPollMs);
}

void ServerHost::endServer() {
    takeTraffic();
    delete server_.data();  // finished() follows from processServerGone
}

void ServerHost::processServerGone() {
    // Connections and the datagram socket went with the Server.
    dropRelay();
    delete puncher_;
    puncher_ = nullptr;
    joiners_.clear();
    if (listener_) {
        listener_->close();
    }
    qCDebug(lcServer) << "server on port" << port_ << "ended";
    if (portMapper_ && !portMapStopped_) {
        portMapper_->stop();
        return;  // finished() once the router has answered
    }
    Q_EMIT finished();
}
