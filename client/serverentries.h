#pragma once

#include <memory>
#include <vector>

#include "network/serverdata.h"

// The servers of one list, from the master server and from the local
// networks, each once: an entry found both ways (same address and port) is
// one entry with the LAN mark. Entries known only from the local networks go
// when a new round of questions begins and they did not answer the last one.
// Entries keep their addresses while they stay.
class ServerEntries {
public:
    // Updates the entry of the same server in place, or adds one.
    void add(ServerData server);
    // A new round of questions to the local networks: true when entries went.
    bool beginLanRound();
    void clear() { rows_.clear(); }

    int size() const { return int(rows_.size()); }
    // In arrival order.
    const ServerData& at(int i) const { return *rows_[std::size_t(i)].server; }

private:
    struct Row {
        std::unique_ptr<ServerData> server;
        bool fromMaster = false;
        bool heardOnLan = false;  // since the last LAN round began
    };
    std::vector<Row> rows_;
};
