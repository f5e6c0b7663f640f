#include "server/playersessions.h"

#include <QRandomGenerator>
#include <array>
#include <utility>

namespace {

PlayerGate::Verdict refuse(HelloOutcome why) {
    return {why, -1, false, {}};
}

QString strongToken() {
    std::array<quint32, 4> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    QString text;
    for (quint32 w : words) {
        text += QStringLiteral("%1").arg(w, 8, 16, QLatin1Char('0'));
    }
    return text;
}

// Takes as long for every wrong token as for any other.
bool sameToken(const QString& a, const QString& b) {
    if (a.size() != b.size() || a.isEmpty()) {
        return false;
    }
    char16_t diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i) {
        diff |= a[i].unicode() ^ b[i].unicode();
    }
    return diff == 0;
}

}  // namespace

PlayerSessions::PlayerSessions(const Rules& rules, std::function<QString()> newToken)
    : rules_(rules), newToken_(newToken ? std::move(newToken) : strongToken) {}

PlayerGate::Verdict PlayerSessions::admit(GameChannel channel, const PayloadCodec::Hello& hello,
                                          const QHostAddress& from) {
    if (hello.players < 1 || hello.players > PayloadCodec::kLocalPlayers) {
        return refuse(HelloOutcome::Refused);  // a count that would corrupt the player count
    }
    return channel == GameChannel::Stream ? admitStream(hello, from) : admitDatagram(hello, from);
}

PlayerGate::Verdict PlayerSessions::admitStream(const PayloadCodec::Hello& hello,
                                                const QHostAddress& from) {
    // A server without a key of its own (negative) recognises nobody by key.
    const bool keyMatches = rules_.hostKey >= 0 && hello.hostKey == rules_.hostKey;
    const bool becomesHost = keyMatches || (!hostOwnsServer() && hostId_ < 0);
    const int players = playerCount() - static_cast<int>(seats_.size());
    // Seated players count, but not as the host's client: a hosted server
    // with computers seated still waits for its own client first.
    if (players == 0 && !becomesHost) {
        return refuse(HelloOutcome::Refused);
    }
    if (rules_.singleplayer && !keyMatches) {
        return refuse(HelloOutcome::Refused);
    }
    if (rules_.usePassword && hello.password != rules_.password) {
        return refuse(HelloOutcome::WrongPassword);
    }
    if (!hasRoom(hello.players)) {
        return refuse(HelloOutcome::ServerFull);
    }
    int clientId = -1;
    if (hello.requestedId >= 0) {
        if (hello.requestedId >= rules_.maxPlayers || taken(hello.requestedId)) {
            return refuse(HelloOutcome::Refused);
        }
        clientId = hello.requestedId;
    }
    for (int id = 0; clientId < 0 && id < rules_.maxPlayers; ++id) {
        clientId = taken(id) ? -1 : id;
    }
    if (clientId < 0) {
        return refuse(HelloOutcome::ServerFull);
    }
    const QString token = newToken_();
    sessions_[clientId] = {clientId, hello.players, from, true, false, token, false, false};
    if (becomesHost) {
        hostId_ = clientId;
    }
    return {HelloOutcome::Accepted, clientId, becomesHost, token};
}

PlayerGate::Verdict PlayerSessions::rejoin(const PayloadCodec::Rejoin& rejoin,
                                           const QHostAddress& from) {
    const auto it = sessions_.find(rejoin.clientId);
    if (it == sessions_.end() || !it->second.held || it->second.stream || it->second.datagram ||
        !sameToken(rejoin.token, it->second.token) || rejoin.players != it->second.players) {
        return refuse(HelloOutcome::Refused);
    }
    PlayerSession& s = it->second;
    s.address = from;
    s.stream = true;
    s.held = false;
    s.returned = true;
    // A dedicated server's host that dropped is its host again, if nobody took over.
    if (!hostOwnsServer() && hostId_ < 0) {
        hostId_ = s.clientId;
    }
    return {HelloOutcome::Accepted, s.clientId, isHost(s.clientId), s.token};
}

PlayerGate::Verdict PlayerSessions::admitDatagram(const PayloadCodec::Hello& hello,
                                                  const QHostAddress& from) {
    const auto it = sessions_.find(hello.requestedId);
    if (it == sessions_.end() || !it->second.stream || it->second.datagram ||
        !it->second.address.isEqual(from, QHostAddress::TolerantConversion)) {
        return refuse(HelloOutcome::Refused);
    }
    if (rules_.usePassword && hello.password != rules_.password) {
        return refuse(HelloOutcome::WrongPassword);
    }
    it->second.datagram = true;
    return {HelloOutcome::Accepted, hello.requestedId, isHost(hello.requestedId), {}};
}

void PlayerSessions::left(GameChannel channel, int clientId) {
    const auto it = sessions_.find(clientId);
    if (it == sessions_.end()) {
        return;
    }
    PlayerSession& s = it->second;
    (channel == GameChannel::Stream ? s.stream : s.datagram) = false;
    if (channel == GameChannel::Stream && isHost(clientId)) {
        hostId_ = -1;
    }
    if (!s.stream && !s.datagram && !s.held) {
        sessions_.erase(it);
    }
}

bool PlayerSessions::hold(int clientId) {
    const auto it = sessions_.find(clientId);
    if (it == sessions_.end()) {
        return false;
    }
    it->second.held = true;
    return true;
}

void PlayerSessions::release(int clientId) {
    const auto it = sessions_.find(clientId);
    if (it == sessions_.end() || !it->second.held) {
        return;
    }
    it->second.held = false;
    if (!it->second.stream && !it->second.datagram) {
        sessions_.erase(it);
    }
}

QList<int> PlayerSessions::heldIds() const {
    return idsWhere([](const PlayerSession& s) { return s.held; });
}

bool PlayerSessions::takeReturn(int clientId) {
    const auto it = sessions_.find(clientId);
    return it != sessions_.end() && std::exchange(it->second.returned, false);
}

int PlayerSessions::playerCount() const {
    int count = static_cast<int>(seats_.size());
    for (const auto& [id, s] : sessions_) {
        count += (s.stream || s.held) ? s.players : 0;
    }
    return count;
}

QList<int> PlayerSessions::clientIds() const {
    return idsWhere([](const PlayerSession& s) { return s.stream; });
}

template <typename Keep>
QList<int> PlayerSessions::idsWhere(Keep keep) const {
    QList<int> ids;
    for (const auto& [id, s] : sessions_) {
        if (keep(s)) {
            ids << id;
        }
    }
    return ids;
}

const PlayerSession* PlayerSessions::find(int clientId) const {
    const auto it = sessions_.find(clientId);
    return it == sessions_.end() ? nullptr : &it->second;
}

bool PlayerSessions::taken(int clientId) const {
    return sessions_.count(clientId) > 0 || seats_.contains(clientId);
}
