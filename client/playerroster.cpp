#include "playerroster.h"

#include <algorithm>

QList<PlayerRoster::Entry> PlayerRoster::update(const QList<int>& connIds, const QStringList& names,
                                                const QList<GamePlayer::PlayerStatus>& status) {
    const auto before = places_;
    clear();
    QList<Entry> taken;
    const qsizetype entries = std::min({connIds.size(), names.size(), status.size()});
    for (qsizetype i = 0; i < entries; ++i) {
        const int id = connIds.at(i);
        if (id < 0 || id >= kConnIds) {
            continue;  // a free place, or an id the table has no row for
        }
        auto& row = places_[id];
        const auto free =
            std::find_if(row.begin(), row.end(), [](const Place& p) { return p.name.isEmpty(); });
        if (free == row.end()) {
            continue;
        }
        *free = {names.at(i), status.at(i)};
        const auto slot = free - row.begin();
        taken.append({id, names.at(i), status.at(i), before[id][slot].name.isEmpty()});
    }
    return taken;
}

QStringList PlayerRoster::drop(int connId) {
    QStringList names;
    if (connId < 0 || connId >= kConnIds) {
        return names;
    }
    for (Place& place : places_[connId]) {
        if (!place.name.isEmpty()) {
            names.append(place.name);
        }
        place = {};
    }
    return names;
}

void PlayerRoster::clear() {
    places_ = {};
}

int PlayerRoster::count() const {
    int n = 0;
    for (const auto& connection : places_) {
        for (const Place& p : connection) {
            n += p.name.isEmpty() ? 0 : 1;
        }
    }
    return n;
}

bool PlayerRoster::isEmpty() const {
    return count() == 0;
}

bool PlayerRoster::someoneWaiting() const {
    return std::any_of(places_.begin(), places_.end(), [](const auto& row) {
        return std::any_of(row.begin(), row.end(), [](const Place& p) {
            return !p.name.isEmpty() && p.status == GamePlayer::Waiting;
        });
    });
}

QStringList PlayerRoster::playing() const {
    QStringList names;
    for (const auto& row : places_) {
        for (const Place& p : row) {
            if (!p.name.isEmpty() &&
                (p.status == GamePlayer::Playing || p.status == GamePlayer::Pausing)) {
                names.append(p.name);
            }
        }
    }
    return names;
}
