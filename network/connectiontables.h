#pragma once

#include <QList>
#include <map>

class ConnectionInfo;

// The records of one connection object by connection id, in three tables:
// established peers, connections still in their handshake, and queries (the
// master server, probes). It also hands out the connection ids and counts
// the players of the established peers.
//
// It only indexes the records: they are QObjects whose parent is the
// ConnectionCore, which creates them and deletes them once taken out.
class ConnectionTables {
public:
    enum class Table { Established, Pending, Queries };
    using Records = std::map<int, ConnectionInfo*>;

    const Records& records(Table table) const;
    ConnectionInfo* find(int connId) const;
    ConnectionInfo* findIn(Table table, int connId) const;
    ConnectionInfo* findEstablishedByClientId(int clientId) const;
    bool contains(Table table, int connId) const { return records(table).count(connId) != 0; }
    QList<int> ids(Table table) const;
    // Client ids of the established peers, in connection order.
    QList<int> clientIds() const;
    // The first established peer's client id, -1 without one.
    int establishedClientId() const;

    void insert(Table table, int connId, ConnectionInfo& record);
    void move(int connId, Table to);
    // Takes the record out of its table, with its players if it was
    // established; null when there is none.
    ConnectionInfo* take(int connId);

    int playerCount() const { return playerCount_; }
    void addPlayers(int players) { playerCount_ += players; }
    int nextConnId() const { return nextConnId_; }
    int takeConnId() { return nextConnId_++; }
    // Ids from 0 again and no players: only once every record was taken.
    void restart();

private:
    Records& table(Table which);

    Records established_;
    Records pending_;
    Records queries_;
    int nextConnId_ = 0;
    int playerCount_ = 0;
};
