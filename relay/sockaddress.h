#pragma once

#include <sys/socket.h>
#include <QHostAddress>

// An address and port as the C socket calls take them, for the sockets that
// Qt cannot open the way we need (bound and connected by hand, handed over
// as descriptors).
struct SockAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;

    // IPv4-mapped addresses as plain IPv4.
    static SockAddress of(const QHostAddress& address, quint16 port);
    int family() const { return storage.ss_family; }
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};
