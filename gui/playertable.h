#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <vector>

#include "game/gamefield.h"
#include "game/gameplayer.h"
#include "game/playerkey.h"
#include "network/payloadcodec.h"

// The players the server lists, seen two ways: by their place in the last
// list (the server's slot, also the sender number of chat lines) and by
// player id (playerKey, as the server keys them); pings per connection; the
// host's kick list.
class PlayerTable {
public:
    struct Player {
        int connId = -1;
        QString name;
        int colour = -1;  // 0..5
        bool autoColour = false;
        GamePlayer::PlayerStatus status = GamePlayer::Empty;
    };

    // -1 (nobody) for a connection id outside the player slots, which a
    // stranger's server may send and which would overflow when scaled.
    static int playerId(int connId, int local) {
        return connId >= 0 && connId < GameField::kSlots ? playerKey(connId, local) : -1;
    }

    void update(const PayloadCodec::PlayerList& list);
    void updatePings(const PayloadCodec::PingList& list);
    // Both players of the connection leave.
    void removeConnection(int connId);
    void clear();

    // The list place, or null for a free place or one beyond the list.
    const Player* atPosition(int position) const;
    int positions() const { return int(list_.size()); }
    const Player* player(int id) const;
    const std::map<int, Player>& players() const { return players_; }
    int ping(int connId) const;
    // Players taking part in the running game.
    int playingCount() const;

    // Connection ids of the other connections, in the order of their players' ids.
    QList<int> kickList(int ownConnId) const;

private:
    std::vector<std::optional<Player>> list_;
    std::map<int, Player> players_;
    std::map<int, int> pings_;
};
