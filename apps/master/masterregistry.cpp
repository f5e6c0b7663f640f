#include "masterregistry.h"

#include "network/endpoint.h"

namespace {

constexpr int kHalfDayMs = 12 * 3600 * 1000;

}  // namespace

QHostAddress MasterRegistry::normalised(const QHostAddress& address, bool* isIpv4) {
    const QHostAddress plain = Endpoint::plain(address);
    if (isIpv4) {
        *isIpv4 = plain.protocol() == QAbstractSocket::IPv4Protocol;
    }
    return plain;
}

QString MasterRegistry::key(const QHostAddress& sender, int port) {
    return Endpoint{sender, port}.text();
}

const ServerData* MasterRegistry::find(const QHostAddress& sender, int port) const {
    const auto it = index_.constFind(key(sender, port));
    return it == index_.constEnd() ? nullptr : entries_[static_cast<std::size_t>(*it)].get();
}

MasterRegistry::Result MasterRegistry::announce(const QHostAddress& sender, int port,
                                                const QString& version, bool ranked,
                                                const QString& timeText) {
    const QHostAddress address = normalised(sender);
    if (address.isNull() || port < 1 || port > 65535) {
        return Result::Refused;
    }
    auto incoming = std::make_unique<ServerData>(version, address.toString(), QString(), port,
                                                 ranked, false, 0, 0, 0, timeText);
    if (!incoming->time().isValid()) {
        return Result::Refused;
    }
    const QString k = key(address, port);
    const auto it = index_.constFind(k);
    if (it == index_.constEnd()) {
        const QString host = address.toString();
        if (size() >= limits_.maxServers ||
            perAddress_.value(host) >= limits_.maxServersPerAddress) {
            return Result::Refused;
        }
        index_.insert(k, size());
        entries_.push_back(std::move(incoming));
        ++perAddress_[host];
        return Result::Added;
    }
    std::unique_ptr<ServerData>& entry = entries_[static_cast<std::size_t>(*it)];
    if (entry->update(*incoming)) {
        // Each refresh adds a life; more than a fresh entry has would let a
        // server that stops announcing linger for ever.
        while (entry->lives() > ServerData::kInitialLives) {
            entry->decay();
        }
        return Result::Refreshed;
    }
    // The announced time is a time of day: just after midnight it is earlier
    // than the last one although it is newer.
    if (entry->time().msecsTo(incoming->time()) < -kHalfDayMs) {
        entry = std::move(incoming);
        return Result::Refreshed;
    }
    return Result::Unchanged;  // a repeat or a replay of an older announcement
}

MasterRegistry::Result MasterRegistry::withdraw(const QHostAddress& sender, int port) {
    const auto it = index_.constFind(key(sender, port));
    if (it == index_.constEnd()) {
        return Result::Unchanged;
    }
    remove(*it);
    return Result::Removed;
}

void MasterRegistry::remove(int index) {
    const auto i = static_cast<std::size_t>(index);
    const ServerData& gone = *entries_[i];
    const QString host = gone.address();
    index_.remove(key(QHostAddress(host), gone.port()));
    if (--perAddress_[host] <= 0) {
        perAddress_.remove(host);
    }
    // Swap with the last entry so removal stays O(1).
    if (i + 1 != entries_.size()) {
        entries_[i] = std::move(entries_.back());
        index_[key(QHostAddress(entries_[i]->address()), entries_[i]->port())] = index;
    }
    entries_.pop_back();
}

QStringList MasterRegistry::sweep() {
    QStringList dropped;
    for (int i = size() - 1; i >= 0; --i) {
        ServerData& entry = *entries_[static_cast<std::size_t>(i)];
        if (!entry.decay()) {
            dropped.append(key(QHostAddress(entry.address()), entry.port()));
            remove(i);
        }
    }
    return dropped;
}

QStringList MasterRegistry::list(int maxEntries, QAbstractSocket::NetworkLayerProtocol family) {
    QStringList out;
    const std::size_t n = entries_.size();
    if (n == 0 || maxEntries <= 0) {
        return out;
    }
    cursor_ %= n;
    std::size_t k = 0;
    for (; k < n && out.size() < maxEntries; ++k) {
        const ServerData& e = *entries_[(cursor_ + k) % n];
        const QHostAddress address(e.address());
        if (address.protocol() == family) {
            out.append(key(address, e.port()));
        }
    }
    cursor_ = (cursor_ + k) % n;
    return out;
}
