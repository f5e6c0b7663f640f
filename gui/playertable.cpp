#include "playertable.h"

#include <algorithm>

void PlayerTable::update(const PayloadCodec::PlayerList& list) {
    list_.clear();
    players_.clear();
    const qsizetype n =
        std::min({list.connIds.size(), list.names.size(), list.colors.size(), list.status.size()});
    for (qsizetype i = 0; i < n; ++i) {
        const int connId = list.connIds[i];
        if (playerId(connId, 0) < 0) {
            list_.emplace_back();
            continue;
        }
        Player p;
        p.connId = connId;
        p.name = list.names[i];
        p.autoColour = list.colors[i] < 0;
        p.colour = p.autoColour ? list.colors[i] + GamePlayer::kAutoColourMark : list.colors[i];
        p.status = GamePlayer::statusFromInt(list.status[i]);
        list_.emplace_back(p);
        int id = playerId(connId, 0);
        if (players_.count(id) > 0) {
            id = playerId(connId, 1);
        }
        players_.insert_or_assign(id, p);
    }
}

void PlayerTable::updatePings(const PayloadCodec::PingList& list) {
    const qsizetype n = std::min(list.connIds.size(), list.pings.size());
    for (qsizetype i = 0; i < n; ++i) {
        pings_[list.connIds[i]] = list.pings[i];
    }
}

void PlayerTable::removeConnection(int connId) {
    players_.erase(playerId(connId, 0));
    players_.erase(playerId(connId, 1));
    for (std::optional<Player>& entry : list_) {
        if (entry && entry->connId == connId) {
            entry.reset();
        }
    }
    pings_.erase(connId);
}

void PlayerTable::clear() {
    list_.clear();
    players_.clear();
    pings_.clear();
}

const PlayerTable::Player* PlayerTable::atPosition(int position) const {
    if (position < 0 || position >= positions() || !list_[position]) {
        return nullptr;
    }
    return &*list_[position];
}

const PlayerTable::Player* PlayerTable::player(int id) const {
    const auto it = players_.find(id);
    return it == players_.end() ? nullptr : &it->second;
}

int PlayerTable::ping(int connId) const {
    const auto it = pings_.find(connId);
    return it == pings_.end() ? GamePlayer::kNoPing : it->second;
}

int PlayerTable::playingCount() const {
    return int(std::count_if(players_.begin(), players_.end(), [](const auto& entry) {
        const GamePlayer::PlayerStatus s = entry.second.status;
        return s == GamePlayer::Playing || s == GamePlayer::Pausing;
    }));
}

QList<int> PlayerTable::kickList(int ownConnId) const {
    QList<int> out;
    for (const auto& [id, p] : players_) {
        if (p.connId != ownConnId && !out.contains(p.connId)) {
            out.append(p.connId);
        }
    }
    return out;
}
