#include "sockaddress.h"

#include <netinet/in.h>
#include <algorithm>

SockAddress SockAddress::of(const QHostAddress& address, quint16 port) {
    SockAddress out;
    // IPv4, or IPv4 mapped into IPv6; not "::", which Qt would also convert.
    const Q_IPV6ADDR ip6 = address.toIPv6Address();
    const bool mapped = address.protocol() == QAbstractSocket::IPv6Protocol &&
                        std::all_of(ip6.c, ip6.c + 10, [](quint8 b) { return b == 0; }) &&
                        ip6.c[10] == 0xff && ip6.c[11] == 0xff;
    if (address.protocol() == QAbstractSocket::IPv4Protocol || mapped) {
        const quint32 ip4 = address.toIPv4Address();
        auto* a = reinterpret_cast<sockaddr_in*>(&out.storage);
        a->sin_family = AF_INET;
        a->sin_port = htons(port);
        a->sin_addr.s_addr = htonl(ip4);
        out.length = sizeof(sockaddr_in);
    } else {
        auto* a = reinterpret_cast<sockaddr_in6*>(&out.storage);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(port);
        std::copy(std::begin(ip6.c), std::end(ip6.c), a->sin6_addr.s6_addr);
        out.length = sizeof(sockaddr_in6);
    }
    return out;
}
