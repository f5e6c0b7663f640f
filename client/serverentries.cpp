#include "serverentries.h"

#include <algorithm>

void ServerEntries::add(ServerData server) {
    const bool fromLan = server.isLan();
    auto row = std::find_if(rows_.begin(), rows_.end(),
                            [&server](const Row& r) { return r.server->sameServer(server); });
    if (row == rows_.end()) {
        rows_.push_back(Row{std::make_unique<ServerData>(std::move(server))});
        row = rows_.end() - 1;
    } else {
        // The newer answer tells the players and the ping; the mark stays.
        const bool lan = row->server->isLan();
        *row->server = std::move(server);
        row->server->setLan(lan || fromLan);
    }
    (fromLan ? row->heardOnLan : row->fromMaster) = true;
}

bool ServerEntries::beginLanRound() {
    const auto gone = std::remove_if(rows_.begin(), rows_.end(),
                                     [](const Row& r) { return !r.fromMaster && !r.heardOnLan; });
    const bool removed = gone != rows_.end();
    rows_.erase(gone, rows_.end());
    for (Row& r : rows_) {
        r.heardOnLan = false;
    }
    return removed;
}
