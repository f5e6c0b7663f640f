#include "serverbrowser.h"

#include <algorithm>
#include <utility>

#include "network/endpoint.h"
#include "network/networktimings.h"

ServerBrowser::ServerBrowser(MasterConnection* master, const MasterserverSettings& where,
                             QObject* parent)
    : QObject(parent), master_(master), where_(where), lan_(new LanScanner(this)) {
    master_->setParent(this);
    lanTimer_.setInterval(NetworkTimings().lanScanMs);
    probeTimer_.setSingleShot(true);
    probeTimeoutMs_ = NetworkTimings().joinProbeMs;
    connect(&probeTimer_, &QTimer::timeout, this, &ServerBrowser::failProbe);
    connect(&lanTimer_, &QTimer::timeout, this, [this] {
        Q_EMIT lanRoundBegins();
        lan_->scan();
    });
    connect(lan_, &LanScanner::found, this, &ServerBrowser::newServer);
    connect(master_, &MasterConnection::changedCNewServer, this, &ServerBrowser::processNewServer);
    connect(master_, &MasterConnection::changedCServerUnreachable, this,
            &ServerBrowser::processServerUnreachable);
    connect(master_, &MasterConnection::masterserverResult, this,
            [this](int, MasterserverResult result) { Q_EMIT resultMasterserver(result); });
    connect(master_, &MasterConnection::masterserverOnline, this,
            &ServerBrowser::processMasterReached);
    connect(master_, &ConnectionInterface::errorOccured, this,
            &ServerBrowser::processConnectionError);
    connect(master_, &MasterConnection::changedCInvite, this,
            [this](int, const PayloadCodec::InviteAnswer& a) { processInvite(a); });
}

ServerBrowser::~ServerBrowser() {
    // The connection dies with us; nothing it says on the way out matters.
    master_->disconnect(this);
}

void ServerBrowser::open() {
    if (!connected_) {
        master_->connectToHost(where_.address, where_.port);
        connected_ = true;
    }
}

void ServerBrowser::withMaster(std::function<void()> then) {
    if (where_.isSet()) {
        open();
        then();
        return;
    }
    afterLookup_ = std::move(then);
    if (resolving_) {
        return;
    }
    resolving_ = true;
    resolveHost(lookup_, where_.addressText, this, [this](const QHostAddress& address) {
        resolving_ = false;
        const std::function<void()> then = std::exchange(afterLookup_, {});
        if (address.isNull()) {
            masterFailed();
            return;
        }
        where_.address = address;
        if (then) {
            open();
            then();
        }
    });
}

void ServerBrowser::checkMaster() {
    listing_ = false;
    checking_ = true;
    withMaster([this] { master_->sendMasterTest(true); });
}

void ServerBrowser::setListShown(bool shown) {
    if (!shown) {
        lanTimer_.stop();
    } else if (!lanTimer_.isActive()) {
        lanTimer_.start();
    }
}

void ServerBrowser::probe(const QHostAddress& address, int port) {
    listing_ = false;
    probe_ = Target{address, port};
    untried_ = {};
    probeTimer_.start(probeTimeoutMs_);
    master_->queryServer(address, port);
}

void ServerBrowser::probeInvite(const QString& code) {
    cancelProbe();
    listing_ = false;
    if (!hasMaster()) {
        Q_EMIT inviteFailed(InviteFailure::NoMaster);
        return;
    }
    finding_ = code;
    withMaster([this, code] {
        askedMs_.start();
        master_->findInvite(code);
    });
}

void ServerBrowser::processInvite(const PayloadCodec::InviteAnswer& a) {
    if (finding_.isEmpty() || a.code != finding_) {
        return;
    }
    using PayloadCodec::Reach;
    invited_ = {std::exchange(finding_, {}),
                {},
                a.stream == Reach::No && a.datagram == Reach::No,
                a.localPort,
                askedMs_.isValid() ? static_cast<int>(askedMs_.elapsed()) : 0};
    for (const QString& text : a.endpoints) {
        if (const std::optional<JoinWay> w = JoinWay::parse(text)) {
            invited_.ways.append(*w);
        }
    }
    if (invited_.ways.isEmpty()) {
        Q_EMIT inviteFailed(InviteFailure::Unknown);
        return;
    }
    probeNextEndpoint();
}

void ServerBrowser::probeNextEndpoint() {
    const JoinWay w = invited_.ways.takeFirst();
    const bool punched = w.kind == JoinWay::Kind::Punched;
    const int from = punched ? invited_.localPort : 0;
    Q_EMIT inviteFound(w, from);
    // The probe asks by datagram, where a relayed game hears it too.
    const Endpoint e = w.datagrams();
    probe_ = Target{e.address, e.port};
    // The game opened its router before the master server answered, so a
    // punched way answers within a round trip or two of the lookup's; one
    // that does not is given up for the next way soon.
    probeTimer_.start(punched ? std::clamp(4 * invited_.roundTripMs + kPunchSlackMs, kPunchSlackMs,
                                           probeTimeoutMs_)
                              : probeTimeoutMs_);
    untried_ = punched ? invited_ : Invited{};
    master_->queryInvitedServer(e.address, e.port, invited_.code, from);
}

bool ServerBrowser::tryNextWay() {
    if (untried_.ways.isEmpty()) {
        return false;
    }
    Invited next = std::exchange(untried_, {});
    cancelProbe();
    invited_ = std::move(next);
    probeNextEndpoint();
    return true;
}

void ServerBrowser::cancelProbe() {
    probe_.reset();
    finding_.clear();
    invited_ = {};
    untried_ = {};
    probeTimer_.stop();
}

bool ServerBrowser::isProbed(const QString& address, int port) const {
    return probe_ && port == probe_->port && QHostAddress(address) == probe_->address;
}

void ServerBrowser::failProbe() {
    if (!probe_) {
        return;
    }
    // A game found by code may have another way in (IPv4 after IPv6).
    if (!invited_.ways.isEmpty()) {
        probeNextEndpoint();
        return;
    }
    const bool unreachable = !invited_.code.isEmpty() && invited_.unreachable;
    cancelProbe();
    if (unreachable) {
        Q_EMIT inviteFailed(InviteFailure::Unreachable);
        return;
    }
    Q_EMIT probeFailed();
}

void ServerBrowser::processServerUnreachable(int /*connId*/, const QString& address, int port) {
    if (isProbed(address, port)) {
        failProbe();
    }
}

void ServerBrowser::close() {
    afterLookup_ = {};
    lanTimer_.stop();
    if (connected_) {
        master_->disconnectClient(-1, true);
        connected_ = false;
    }
}

void ServerBrowser::getServerlist() {
    lan_->scan();
    if (!hasMaster()) {
        Q_EMIT resultMasterserver(MasterserverResult::MasterUnreachable);
        return;
    }
    listing_ = true;
    withMaster([this] { master_->requestServerlist(true); });
}

void ServerBrowser::processNewServer(int /*connId*/, ServerData server) {
    // Answers of the list's probes may still come in while a join probes its
    // server; only the probed server's answer goes to the join.
    if (!isProbed(server.address(), server.port())) {
        lan_->addPort(server.port());  // its neighbours may use the same
        Q_EMIT newServer(server);
        return;
    }
    // A punched way keeps the ways behind it until its stream is through.
    Invited behind = std::exchange(untried_, {});
    cancelProbe();
    untried_ = std::move(behind);
    Q_EMIT probeAnswered(server);
}

void ServerBrowser::processMasterReached(int /*connId*/) {
    checking_ = false;
    Q_EMIT masterChecked(true);
}

void ServerBrowser::processConnectionError(int /*connId*/,
                                           ConnectionInterface::ConnectionError /*error*/) {
    connected_ = false;
    masterFailed();
}

void ServerBrowser::masterFailed() {
    if (!finding_.isEmpty()) {
        finding_.clear();
        Q_EMIT inviteFailed(InviteFailure::MasterSilent);
    } else if (checking_) {
        checking_ = false;
        Q_EMIT masterChecked(false);
    } else if (listing_) {
        Q_EMIT resultMasterserver(MasterserverResult::MasterUnreachable);
    }
}
