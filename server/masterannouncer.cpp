#include "masterannouncer.h"

#include <QTimer>

#include "serverlog.h"

MasterAnnouncer::MasterAnnouncer(MasterConnection* master, const MasterserverSettings& masterServer,
                                 int gamePort, int publicPort, bool listed, const Timings& timings,
                                 QObject* parent)
    : QObject(parent),
      master_(master),
      masterServer_(masterServer),
      gamePort_(gamePort),
      publicPort_(publicPort),
      listed_(listed),
      timings_(timings),
      active_(master != nullptr && masterServer.isSet()) {
    if (master_) {
        master_->setParent(this);
    }
    if (!active_) {
        return;
    }
    connect(master_, &ConnectionInterface::errorOccured, this,
            [this](int connId, ConnectionInterface::ConnectionError error) {
                qCDebug(lcServer) << "master server connection error" << connId << error;
                registered_ = false;  // the next heartbeat opens the connection again
            });
    connect(master_, &MasterConnection::changedCRegistration, this,
            [this](int, const PayloadCodec::RegistrationAnswer& a) { processRegistration(a); });
    connect(master_, &MasterConnection::changedCJoiner, this,
            [this](int, const PayloadCodec::JoinerNotice& n) {
                // Only a game with a code has joiners by code.
                const std::optional<Endpoint> at = Endpoint::parse(n.endpoint);
                if (!invite_.code.isEmpty() && at) {
                    Q_EMIT joinerComing(n.nonce, *at);
                }
            });
    heartbeatTimer_ = new QTimer(this);
    heartbeatTimer_->setInterval(timings_.heartbeatMs);
    connect(heartbeatTimer_, &QTimer::timeout, this, &MasterAnnouncer::sendHeartbeat);
    heartbeatTimer_->start();
    registrationTimer_ = new QTimer(this);
    registrationTimer_->setInterval(timings_.retryMs);
    connect(registrationTimer_, &QTimer::timeout, this, &MasterAnnouncer::sendRegistration);
    if (this->publicPort() > 0) {
        sendHeartbeat();
        sendRegistration();
    }
    registrationTimer_->start();
}

MasterAnnouncer::~MasterAnnouncer() {
    if (active_ && publicPort() > 0) {
        ensureRegistered();
        if (!invite_.token.isEmpty()) {
            master_->sendRegistration({publicPort(), false, invite_.token});
        }
        if (listed_) {
            master_->sendServerOffline(true, publicPort());
        }
        master_->disconnectClient(-1, true);
    }
    // Nothing the link raises while it goes may reach this half-destroyed object.
    if (master_) {
        disconnect(master_, nullptr, this, nullptr);
    }
}

void MasterAnnouncer::ensureRegistered() {
    if (!registered_) {
        // Afresh after a failure: what is left of the links (one per address
        // family) would hear everything twice.
        if (opened_) {
            master_->disconnectClient(-1, true);
        }
        opened_ = true;
        master_->connectToHost(masterServer_.address, masterServer_.port);
        if (!masterServer_.address6.isNull()) {
            master_->connectToHost(masterServer_.address6, masterServer_.port);
        }
        registered_ = true;
    }
}

void MasterAnnouncer::sendHeartbeat() {
    if (!active_ || !listed_ || publicPort() <= 0) {
        return;
    }
    ensureRegistered();
    master_->sendServerOnline(true, publicPort());
}

void MasterAnnouncer::sendRegistration() {
    if (!active_ || publicPort() <= 0) {
        return;
    }
    if (!invite_.token.isEmpty() && ++unanswered_ > kUnansweredKeepAlives) {
        invite_.token.clear();  // forgotten by the master server: a new code
        heard4_ = heard6_ = {};
        unanswered_ = 0;
        registrationTimer_->setInterval(timings_.retryMs);
    }
    ensureRegistered();
    master_->sendRegistration(
        {publicPort(), true, invite_.token, relayStream_, relayDatagram_, true});
}

void MasterAnnouncer::setRelayed(const QString& stream, const QString& datagram) {
    if (stream == relayStream_ && datagram == relayDatagram_) {
        return;
    }
    relayStream_ = stream;
    relayDatagram_ = datagram;
    if (!invite_.token.isEmpty()) {
        sendRegistration();
    }
}

std::optional<Endpoint> MasterAnnouncer::masterFor(const QHostAddress& address) const {
    const auto family = Endpoint::plain(address).protocol();
    for (const QHostAddress& at : {masterServer_.address, masterServer_.address6}) {
        if (active_ && !at.isNull() && Endpoint::plain(at).protocol() == family) {
            return Endpoint{Endpoint::plain(at), masterServer_.port};
        }
    }
    return std::nullopt;
}

void MasterAnnouncer::processRegistration(const PayloadCodec::RegistrationAnswer& answer) {
    // A stale answer from before a new port is left for the next. Once the
    // game has a token only answers with it count, so that a forged answer
    // cannot hand it another code; a master server that lost it (restarted)
    // answers with another, and the game registers afresh after a few
    // keep-alives without its own (sendRegistration).
    if (answer.port != publicPort() ||
        (!invite_.token.isEmpty() && answer.token != invite_.token)) {
        return;
    }
    unanswered_ = 0;
    // One answer per family the master server hears us in; what players are
    // told is the better way in, IPv4 when both are as good.
    const bool v6 = QHostAddress(answer.address).protocol() == QAbstractSocket::IPv6Protocol;
    (v6 ? heard6_ : heard4_) = answer;
    if (answer.code != (v6 ? heard4_ : heard6_).code) {
        (v6 ? heard4_ : heard6_) = {};  // a new code: the other family's answer is old
    }
    const auto direct = [](const PayloadCodec::RegistrationAnswer& a) {
        return a.stream == PayloadCodec::Reach::Yes && a.datagram == PayloadCodec::Reach::Yes;
    };
    const PayloadCodec::RegistrationAnswer best =
        heard4_.code.isEmpty() || (direct(heard6_) && !direct(heard4_)) ? heard6_ : heard4_;
    const bool changed = best.code != invite_.code || best.stream != invite_.stream ||
                         best.datagram != invite_.datagram || best.address != invite_.address ||
                         best.relayUser != invite_.relayUser;
    const bool first = invite_.token.isEmpty();
    invite_ = best;
    registrationTimer_->setInterval(timings_.keepAliveMs);
    if (first && !masterServer_.address6.isNull()) {
        sendRegistration();  // with the token now, the other family too
    }
    if (changed) {
        Q_EMIT changedInvite(invite_);
    }
}

void MasterAnnouncer::setPublicPort(int port) {
    const int old = publicPort();
    publicPort_ = port;
    if (!active_ || port == old || port <= 0) {
        return;
    }
    ensureRegistered();
    if (old > 0 && listed_) {
        master_->sendServerOffline(true, old);
    }
    if (listed_) {
        master_->sendServerOnline(true, port);
    }
    sendRegistration();
}
