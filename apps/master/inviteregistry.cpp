#include "inviteregistry.h"

#include "masterregistry.h"

InviteRegistry::InviteRegistry(std::function<quint32()> random, const Limits& limits)
    : random_(std::move(random)), limits_(limits) {}

InviteRegistry::Invite* InviteRegistry::enter(const QHostAddress& sender, quint16 linkPort,
                                              int gamePort, const QString& token, qint64 nowMs) {
    if (gamePort < 1 || gamePort > 65535) {
        return nullptr;
    }
    const QHostAddress address = MasterRegistry::normalised(sender);
    if (!token.isEmpty()) {
        const auto code = tokens_.constFind(token);
        if (code == tokens_.constEnd()) {
            // Not ours, or forgotten (a restart): a new code, as without one.
            return enter(sender, linkPort, gamePort, QString(), nowMs);
        }
        Invite& i = invites_[*code];
        if (!i.address.isEqual(address) || i.gamePort != gamePort) {
            --perAddress_[i.address.toString()];
            ++perAddress_[address.toString()];
            i.address = address;
            i.gamePort = gamePort;
            i.probedMs = -1;  // somewhere else now
        }
        i.linkPort = linkPort;
        i.seenMs = nowMs;
        return &i;
    }
    for (Invite& i : invites_) {
        if (i.address.isEqual(address) && i.linkPort == linkPort && i.gamePort == gamePort) {
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
    i.address = address;
    i.linkPort = linkPort;
    i.gamePort = gamePort;
    i.seenMs = nowMs;
    tokens_.insert(i.token, i.code);
    ++perAddress_[address.toString()];
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

bool InviteRegistry::wantsProbe(const Invite& invite, qint64 nowMs) const {
    return invite.probedMs < 0 || nowMs - invite.probedMs >= limits_.reprobeMs;
}

void InviteRegistry::remove(const QString& code) {
    const auto it = invites_.constFind(code);
    if (it == invites_.constEnd()) {
        return;
    }
    tokens_.remove(it->token);
    const QString address = it->address.toString();
    if (--perAddress_[address] <= 0) {
        perAddress_.remove(address);
    }
    invites_.erase(it);
}
