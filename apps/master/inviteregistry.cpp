#include "inviteregistry.h"

#include "masterregistry.h"

InviteRegistry::Place& InviteRegistry::Invite::place(const QHostAddress& address) {
    return address.protocol() == QAbstractSocket::IPv6Protocol ? v6 : v4;
}

QStringList InviteRegistry::Invite::endpoints() const {
    QStringList out;
    if (relayed && !(v4.isSet() && v4.direct()) && !(v6.isSet() && v6.direct())) {
        out.append(relayed->text());
    }
    if (v6.isSet() && !v6.unreachable()) {
        out.append(MasterRegistry::key(v6.address, gamePort));
    }
    if (v4.isSet()) {
        out.append(MasterRegistry::key(v4.address, gamePort));
    }
    if (v6.isSet() && v6.unreachable()) {
        out.append(MasterRegistry::key(v6.address, gamePort));
    }
    return out;
}

InviteRegistry::InviteRegistry(std::function<quint32()> random, const Limits& limits)
    : random_(std::move(random)), limits_(limits) {}

void InviteRegistry::count(const Place& place, int by) {
    if (!place.isSet()) {
        return;
    }
    const QString key = place.address.toString();
    if ((perAddress_[key] += by) <= 0) {
        perAddress_.remove(key);
    }
}

InviteRegistry::Invite* InviteRegistry::enter(const QHostAddress& sender, quint16 linkPort,
                                              int gamePort, const QString& token, qint64 nowMs) {
    const QHostAddress address = MasterRegistry::normalised(sender);
    if (gamePort < 1 || gamePort > 65535 || address.isNull()) {
        return nullptr;
    }
    if (!token.isEmpty()) {
        const auto code = tokens_.constFind(token);
        if (code == tokens_.constEnd()) {
            // Not ours, or forgotten (a restart): a new code, as without one.
            return enter(sender, linkPort, gamePort, QString(), nowMs);
        }
        Invite& i = invites_[*code];
        Place& p = i.place(address);
        if (!p.address.isEqual(address) || i.gamePort != gamePort) {
            count(p, -1);
            p = Place();
            p.address = address;
            count(p, 1);
            if (i.gamePort != gamePort) {
                i.gamePort = gamePort;
                i.v4.probedMs = i.v6.probedMs = -1;  // another port to try
            }
        }
        p.linkPort = linkPort;
        i.seenMs = nowMs;
        return &i;
    }
    for (Invite& i : invites_) {
        const Place& p = i.place(address);
        if (p.address.isEqual(address) && p.linkPort == linkPort && i.gamePort == gamePort) {
            i.seenMs = nowMs;
            return &i;
        }
    }
    if (size() >= limits_.maxInvites ||
        perAddress_.value(address.toString()) >= limits_.maxPerAddress) {
        return nullptr;
    }
    Invite i;
    do {
        i.code = InviteCode::draw(random_);
    } while (invites_.contains(i.code));
    do {
        i.token = InviteCode::drawNonce(random_);
    } while (tokens_.contains(i.token));
    i.gamePort = gamePort;
    i.seenMs = nowMs;
    i.place(address).address = address;
    i.place(address).linkPort = linkPort;
    count(i.place(address), 1);
    tokens_.insert(i.token, i.code);
    return &*invites_.insert(i.code, i);
}

bool InviteRegistry::withdraw(const QString& token) {
    const auto code = tokens_.constFind(token);
    if (token.isEmpty() || code == tokens_.constEnd()) {
        return false;
    }
    remove(*code);
    return true;
}

const InviteRegistry::Invite* InviteRegistry::find(const QString& code) const {
    const auto it = invites_.constFind(code);
    return it == invites_.constEnd() ? nullptr : &*it;
}

InviteRegistry::Invite* InviteRegistry::find(const QString& code) {
    const auto it = invites_.find(code);
    return it == invites_.end() ? nullptr : &*it;
}

QStringList InviteRegistry::expire(qint64 nowMs) {
    QStringList gone;
    for (const Invite& i : std::as_const(invites_)) {
        if (nowMs - i.seenMs > limits_.lifetimeMs) {
            gone.append(i.code);
        }
    }
    for (const QString& code : gone) {
        remove(code);
    }
    return gone;
}

bool InviteRegistry::wantsProbe(const Place& place, qint64 nowMs) const {
    return place.probedMs < 0 || nowMs - place.probedMs >= limits_.reprobeMs;
}

void InviteRegistry::remove(const QString& code) {
    const auto it = invites_.constFind(code);
    if (it == invites_.constEnd()) {
        return;
    }
    tokens_.remove(it->token);
    count(it->v4, -1);
    count(it->v6, -1);
    invites_.erase(it);
}
