#include "turnsession.h"

TurnSession::TurnSession(quint8 transport, const TurnTimings& timings, QObject* parent)
    : QObject(parent), timings_(timings), transport_(transport) {
    refreshTimer_.setSingleShot(true);
    connect(&refreshTimer_, &QTimer::timeout, this, [this] { refresh(timings_.lifetimeSeconds); });
    permissionTimer_.setInterval(timings_.permissionRefreshMs);
    connect(&permissionTimer_, &QTimer::timeout, this, &TurnSession::refreshPermissions);
}

TurnSession::~TurnSession() = default;

void TurnSession::start(const TurnServer& server) {
    credentials_ = server;
    server_ = QHostAddress(server.host);
    serverPort_ = server.port;
    if (server_.isNull()) {
        fail(QStringLiteral("the relay's address is no address: ") + server.host);
        return;
    }
    open(server_, serverPort_);
}

void TurnSession::opened() {
    StunMessage allocate = StunMessage::make(StunMessage::Allocate, StunMessage::Request);
    allocate.addNumber(StunMessage::RequestedTransport, quint32(transport_) << 24);
    allocate.addNumber(StunMessage::Lifetime, static_cast<quint32>(timings_.lifetimeSeconds));
    request(allocate, [this](const StunMessage& answer) {
        const auto relayed = answer.address(StunMessage::XorRelayedAddress);
        if (!relayed) {
            fail(QStringLiteral("the relay named no relayed address"));
            return;
        }
        relayed_ = relayed->first;
        relayedPort_ = relayed->second;
        allocated_ = true;
        const int lifetime = static_cast<int>(
            answer.number(StunMessage::Lifetime).value_or(timings_.lifetimeSeconds));
        refreshTimer_.start(std::max(1, lifetime - 60) * 1000);
        permissionTimer_.start();
        Q_EMIT allocated(relayed_, relayedPort_);
        if (!wanted_.isEmpty()) {
            refreshPermissions();
        }
    });
}

void TurnSession::stop() {
    if (stopped_) {
        return;
    }
    if (allocated_ && !failed_) {
        StunMessage bye = StunMessage::make(StunMessage::Refresh, StunMessage::Request);
        bye.addNumber(StunMessage::Lifetime, 0);
        write(signedRequest(bye));
    }
    stopped_ = true;
    refreshTimer_.stop();
    permissionTimer_.stop();
    qDeleteAll(resend_);
    resend_.clear();
    pending_.clear();
    close();
}

void TurnSession::permit(const QHostAddress& peer) {
    wanted_.removeAll(peer.toString());
    wanted_.append(peer.toString());
    if (wanted_.size() > kMaxPermissions) {
        wanted_.removeFirst();
    }
    if (allocated_) {
        sendPermission({peer});
    }
}

void TurnSession::forget(const QHostAddress& peer) {
    wanted_.removeAll(peer.toString());
}

void TurnSession::refreshPermissions() {
    // One request a peer: a peer refused must not cost the others theirs.
    for (const QString& p : std::as_const(wanted_)) {
        sendPermission({QHostAddress(p)});
    }
}

void TurnSession::sendPermission(const QList<QHostAddress>& peers) {
    StunMessage m = StunMessage::make(StunMessage::CreatePermission, StunMessage::Request);
    for (const QHostAddress& peer : peers) {
        m.addAddress(StunMessage::XorPeerAddress, peer, 0);
    }
    request(
        m,
        [this, peers](const StunMessage&) {
            for (const QHostAddress& peer : peers) {
                Q_EMIT permitted(peer);
            }
        },
        [this, peers](const StunMessage& answer) {
            for (const QHostAddress& peer : peers) {
                wanted_.removeAll(peer.toString());
                Q_EMIT refused(peer, answer.errorText());
            }
        });
}

void TurnSession::refresh(int lifetime) {
    StunMessage m = StunMessage::make(StunMessage::Refresh, StunMessage::Request);
    m.addNumber(StunMessage::Lifetime, static_cast<quint32>(lifetime));
    request(m, [this](const StunMessage& answer) {
        const int granted = static_cast<int>(
            answer.number(StunMessage::Lifetime).value_or(timings_.lifetimeSeconds));
        refreshTimer_.start(std::max(1, granted - 60) * 1000);
    });
}

QByteArray TurnSession::signedRequest(StunMessage message) const {
    if (!realm_.isEmpty()) {
        message.add(StunMessage::Username, credentials_.username.toUtf8());
        message.add(StunMessage::Realm, realm_.toUtf8());
        message.add(StunMessage::Nonce, nonce_.toUtf8());
    }
    return message.encode(realm_.isEmpty() ? QByteArray() : key_);
}

void TurnSession::request(StunMessage message, Answer done, Answer refused) {
    if (stopped_ || failed_) {
        return;
    }
    const QByteArray id = message.transaction;
    pending_.insert(id, {std::move(message), std::move(done), std::move(refused), 0, 0});
    send(id);
}

void TurnSession::send(const QByteArray& id) {
    auto p = pending_.find(id);
    if (p == pending_.end()) {
        return;
    }
    if (++p->tries > (retransmits() ? timings_.requestTries : 1)) {
        pending_.erase(p);
        fail(QStringLiteral("no answer from the relay"));
        return;
    }
    write(signedRequest(p->message));
    QTimer*& timer = resend_[id];
    if (timer == nullptr) {
        timer = new QTimer(this);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this, [this, id] { send(id); });
    }
    // Over a stream the one try waits as long as all of them would.
    timer->start(retransmits() ? timings_.requestTimeoutMs
                               : timings_.requestTimeoutMs * timings_.requestTries);
}

void TurnSession::retry(Pending pending) {
    // A new transaction with the new nonce: the old one is answered already.
    StunMessage again = StunMessage::make(pending.message.method, StunMessage::Request);
    again.attributes = pending.message.attributes;
    const QByteArray id = again.transaction;
    pending.message = std::move(again);
    pending.tries = 0;
    pending_.insert(id, std::move(pending));
    send(id);
}

void TurnSession::receive(const StunMessage& message) {
    if (stopped_) {
        return;
    }
    if (message.kind == StunMessage::Indication) {
        indication(message);
        return;
    }
    const auto p = pending_.find(message.transaction);
    if (p == pending_.end() || p->message.method != message.method) {
        return;  // not ours, or answered already
    }
    Pending pending = *p;
    pending_.erase(p);
    delete resend_.take(message.transaction);
    if (message.kind == StunMessage::Success) {
        pending.done(message);
        return;
    }
    const int code = message.errorCode();
    const std::optional<QByteArray> nonce = message.value(StunMessage::Nonce);
    // 401 once with the realm (the first request goes without), 438 with a
    // fresh nonce: a few times, then the credentials are wrong.
    if ((code == 401 || code == 438) && nonce && pending.authTries < 2 &&
        (code == 438 || realm_.isEmpty() || pending.authTries == 0)) {
        if (const std::optional<QByteArray> realm = message.value(StunMessage::Realm)) {
            realm_ = QString::fromUtf8(*realm);
            key_ = stunLongTermKey(credentials_.username, realm_, credentials_.password);
        }
        nonce_ = QString::fromUtf8(*nonce);
        if (!realm_.isEmpty()) {
            ++pending.authTries;
            retry(std::move(pending));
            return;
        }
    }
    if (pending.refused) {
        pending.refused(message);
        return;
    }
    fail(message.errorText());
}

void TurnSession::fail(const QString& reason) {
    if (failed_ || stopped_) {
        return;
    }
    failed_ = true;
    refreshTimer_.stop();
    permissionTimer_.stop();
    Q_EMIT failed(reason);
}
