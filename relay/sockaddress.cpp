#include "sockaddress.h"

#include <netinet/in.h>
#include <algorithm>

SockAddress SockAddress::of(const QHostAddress& address, quint16 port) {
    SockAddress out;
    bool v4 = false;
    const quint32 ip4 = address.toIPv4Address(&v4);
    if (v4) {
        auto* a = reinterpret_cast<sockaddr_in*>(&out.storage);
        a->sin_family = AF_INET;
        a->sin_port = htons(port);
        a->sin_addr.s_addr = htonl(ip4);
        out.length = sizeof(sockaddr_in);
    } else {
        auto* a = reinterpret_cast<sockaddr_in6*>(&out.storage);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(port);
        const Q_IPV6ADDR ip = address.toIPv6Address();
        std::copy(std::begin(ip.c), std::end(ip.c), a->sin6_addr.s6_addr);
        out.length = sizeof(sockaddr_in6);
    }
    return out;
}
