#include "network/connectiontables.h"

#include "network/connectioninfo.h"

namespace {

constexpr ConnectionTables::Table kTables[] = {ConnectionTables::Table::Established,
                                               ConnectionTables::Table::Pending,
                                               ConnectionTables::Table::Queries};

}  // namespace

ConnectionTables::Records& ConnectionTables::table(Table which) {
    switch (which) {
        case Table::Established:
            return established_;
        case Table::Pending:
            return pending_;
        case Table::Queries:
            break;
    }
    return queries_;
}

const ConnectionTables::Records& ConnectionTables::records(Table which) const {
    return const_cast<ConnectionTables*>(this)->table(which);
}

ConnectionInfo* ConnectionTables::findIn(Table which, int connId) const {
    const Records& r = records(which);
    const auto it = r.find(connId);
    return it == r.end() ? nullptr : it->second;
}

ConnectionInfo* ConnectionTables::find(int connId) const {
    for (Table which : kTables) {
        if (ConnectionInfo* record = findIn(which, connId)) {
            return record;
        }
    }
    return nullptr;
}

ConnectionInfo* ConnectionTables::findEstablishedByClientId(int clientId) const {
    for (const auto& [id, record] : established_) {
        if (record->clientId == clientId) {
            return record;
        }
    }
    return nullptr;
}

QList<int> ConnectionTables::ids(Table which) const {
    const Records& r = records(which);
    QList<int> ids;
    ids.reserve(static_cast<qsizetype>(r.size()));
    for (const auto& [id, record] : r) {
        ids.append(id);
    }
    return ids;
}

QList<int> ConnectionTables::clientIds() const {
    QList<int> ids;
    for (const auto& [id, record] : established_) {
        ids.append(record->clientId);
    }
    return ids;
}

int ConnectionTables::establishedClientId() const {
    return established_.empty() ? -1 : established_.begin()->second->clientId;
}

void ConnectionTables::insert(Table which, int connId, ConnectionInfo& record) {
    table(which)[connId] = &record;
}

void ConnectionTables::move(int connId, Table to) {
    for (Table from : kTables) {
        Records& r = table(from);
        const auto it = r.find(connId);
        if (it != r.end()) {
            ConnectionInfo* record = it->second;
            r.erase(it);
            table(to)[connId] = record;
            return;
        }
    }
}

ConnectionInfo* ConnectionTables::take(int connId) {
    for (Table which : kTables) {
        Records& r = table(which);
        const auto it = r.find(connId);
        if (it == r.end()) {
            continue;
        }
        ConnectionInfo* record = it->second;
        r.erase(it);
        if (which == Table::Established) {
            playerCount_ -= record->players;
        }
        return record;
    }
    return nullptr;
}

void ConnectionTables::restart() {
    nextConnId_ = 0;
    playerCount_ = 0;
}
