#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <array>

#include "game/gameplayer.h"

// The players a client knows from the server's lists: by connection id (0 to
// 3) and local slot (0, or 1 for a splitscreen partner). An empty name is a
// free place. The lobby texts and the highscore line read it; the join and
// leave lines come from what changes.
class PlayerRoster {
public:
    static constexpr int kConnIds = 4;
    static constexpr int kLocalSlots = 2;

    // One player the table took from a list.
    struct Entry {
        int connId = -1;
        QString name;
        GamePlayer::PlayerStatus status = GamePlayer::Empty;
        bool isNew = false;  // the place was free before this list
    };

    // Rebuilds the table from a server list, entry by entry: a connection's
    // first entry takes slot 0, its second slot 1, more are dropped, and so
    // are ids outside the table. Returns what it took, in list order.
    QList<Entry> update(const QList<int>& connIds, const QStringList& names,
                        const QList<GamePlayer::PlayerStatus>& status);
    // Frees a connection's places; the names it held, slot 0 first.
    QStringList drop(int connId);
    void clear();

    bool isEmpty() const;
    int count() const;
    bool someoneWaiting() const;
    // The names of those taking part in the game, in table order.
    QStringList playing() const;

private:
    struct Place {
        QString name;
        GamePlayer::PlayerStatus status = GamePlayer::Empty;
    };
    std::array<std::array<Place, kLocalSlots>, kConnIds> places_;
};
