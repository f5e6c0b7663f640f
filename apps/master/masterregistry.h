#pragma once

#include <QHash>
#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "network/serverdata.h"

// The master server's list of announced game servers, one entry per (sender
// address, announced port). An announcement adds an entry or refreshes it; a
// sweep after every heartbeat period takes one life from each entry, so a
// server that stops announcing is dropped after a few missed heartbeats.
class MasterRegistry {
public:
    enum class Result { Added, Refreshed, Unchanged, Removed, Refused };

    struct Limits {
        int maxServers = 100000;
        int maxServersPerAddress = 32;  // one host cannot fill the list
    };

    MasterRegistry() : MasterRegistry(Limits{}) {}
    explicit MasterRegistry(const Limits& limits) : limits_(limits) {}

    // A verified "SON" from sender for its game port.
    Result announce(const QHostAddress& sender, int port, const QString& version, bool ranked,
                    const QString& timeText);
    // A verified "SOF": the entry goes at once.
    Result withdraw(const QHostAddress& sender, int port);
    // One missed heartbeat for every entry; returns the keys ("address:port") dropped.
    QStringList sweep();
    // Up to maxEntries servers of one family as "address:port" (IPv6 in
    // brackets, which clients of older versions skip). Successive calls go
    // round the whole list, so every server is shown when there are more than fit.
    QStringList list(int maxEntries,
                     QAbstractSocket::NetworkLayerProtocol family = QAbstractSocket::IPv4Protocol);

    int size() const { return static_cast<int>(entries_.size()); }
    const ServerData* find(const QHostAddress& sender, int port) const;

    static QString key(const QHostAddress& sender, int port);
    // IPv4-mapped addresses as plain IPv4, as dual-stack sockets report them.
    static QHostAddress normalised(const QHostAddress& address, bool* isIpv4 = nullptr);

private:
    void remove(int index);

    Limits limits_;
    std::vector<std::unique_ptr<ServerData>> entries_;
    QHash<QString, int> index_;
    QHash<QString, int> perAddress_;
    std::size_t cursor_ = 0;
};
