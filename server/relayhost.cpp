#include "relayhost.h"

#include "network/endpoint.h"
#include "serverlog.h"

namespace {

QString peerKey(const QHostAddress& address, int port) {
    return Endpoint{Endpoint::plain(address), port}.text();
}

}  // namespace

RelayHost::RelayHost(const TurnServer& relay, const TurnTimings& timings, QObject* parent)
    : QObject(parent), datagrams_(timings), stream_(timings), relay_(relay) {
    connect(&datagrams_, &TurnUdpRelay::allocated, this, &RelayHost::processAllocated);
    connect(&stream_, &TurnTcpRelay::allocated, this, &RelayHost::processAllocated);
    connect(&datagrams_, &TurnUdpRelay::permitted, this,
            [this](const QHostAddress& peer) { processPermitted(peer, false); });
    connect(&stream_, &TurnTcpRelay::permitted, this,
            [this](const QHostAddress& peer) { processPermitted(peer, true); });
    for (TurnSession* s : std::initializer_list<TurnSession*>{&datagrams_, &stream_}) {
        connect(s, &TurnSession::refused, this,
                [this, stream = s == &stream_](const QHostAddress& peer, const QString& reason) {
                    qCWarning(lcServer) << "the relay would not let" << peer << "in:" << reason;
                    processPermitted(peer, stream);  // nothing to wait for
                });
    }
    connect(&datagrams_, &TurnUdpRelay::failed, this, &RelayHost::processFailure);
    connect(&stream_, &TurnTcpRelay::failed, this, &RelayHost::processFailure);
    connect(&datagrams_, &TurnUdpRelay::received, this,
            [this](const QHostAddress& peer, quint16 port, const QByteArray& data) {
                const QString key = peerKey(peer, port);
                if (!peers_.contains(key)) {
                    if (peers_.size() >= kMaxPeers) {
                        peers_.clear();
                    }
                    peers_.insert(key);
                }
                Q_EMIT arrived(Endpoint::plain(peer), port, data);
            });
    connect(&stream_, &TurnTcpRelay::connection, this,
            [this](qintptr descriptor, const QHostAddress& peer, quint16 port) {
                Q_EMIT streamArrived(descriptor, peer, port);
            });
}

RelayHost::~RelayHost() {
    datagrams_.stop();
    stream_.stop();
}

void RelayHost::start() {
    datagrams_.start(relay_);
    stream_.start(relay_);
}

QString RelayHost::streamEndpoint() const {
    return stream_.isAllocated() ? Endpoint{stream_.relayedAddress(), stream_.relayedPort()}.text()
                                 : QString();
}

QString RelayHost::datagramEndpoint() const {
    return datagrams_.isAllocated()
               ? Endpoint{datagrams_.relayedAddress(), datagrams_.relayedPort()}.text()
               : QString();
}

void RelayHost::processAllocated() {
    if (announced_ || !datagrams_.isAllocated() || !stream_.isAllocated()) {
        return;
    }
    announced_ = true;
    qCInfo(lcServer) << "relayed at" << streamEndpoint() << "(stream)," << datagramEndpoint()
                     << "(datagrams)";
    Q_EMIT allocated(streamEndpoint(), datagramEndpoint());
}

void RelayHost::admit(const QString& nonce, const QHostAddress& joiner) {
    if (failed_ || admitting_.contains(nonce)) {
        return;
    }
    admitting_.insert(nonce, {Endpoint::plain(joiner), false, false});
    datagrams_.permit(Endpoint::plain(joiner));
    stream_.permit(Endpoint::plain(joiner));
}

void RelayHost::processPermitted(const QHostAddress& peer, bool stream) {
    for (auto a = admitting_.begin(); a != admitting_.end();) {
        if (a->joiner.isEqual(peer)) {
            (stream ? a->stream : a->datagrams) = true;
        }
        if (a->stream && a->datagrams) {
            const QString nonce = a.key();
            a = admitting_.erase(a);
            Q_EMIT admitted(nonce);
        } else {
            ++a;
        }
    }
}

void RelayHost::processFailure(const QString& reason) {
    if (failed_) {
        return;
    }
    failed_ = true;
    qCWarning(lcServer) << "the relay failed:" << reason;
    // Joiners waiting to be let in hear at once that nothing comes.
    for (const QString& nonce : admitting_.keys()) {
        Q_EMIT admitted(nonce);
    }
    admitting_.clear();
    Q_EMIT gaveUp(reason);
}

bool RelayHost::carries(const QHostAddress& address, int port) const {
    return peers_.contains(peerKey(address, port));
}

void RelayHost::send(const QHostAddress& address, int port, const QByteArray& packet) {
    datagrams_.send(Endpoint::plain(address), static_cast<quint16>(port), packet);
}
