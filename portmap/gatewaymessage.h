#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <optional>

#include "portmap/portmapmethod.h"

// The datagrams of PCP (version 2) and NAT-PMP (version 0), the two ways of
// asking a router for a port over UDP port 5351 of the default gateway. Both
// are big-endian. A PCP MAP request is 60 bytes: the common header (version,
// opcode, lifetime, the client's own address) and the MAP part (a nonce that
// names our mappings, protocol, internal and suggested external port and
// address). NAT-PMP asks with 12 bytes and answers with 16, and tells the
// public address only in answer to a request of its own. A router that only
// speaks NAT-PMP answers a PCP request with version 0 and result 1.
namespace GatewayMessage {

inline constexpr quint16 kPort = 5351;
inline constexpr int kNonceSize = 12;
inline constexpr int kUnsupportedVersion = 1;  // the same number in both
inline constexpr int kPcpCannotProvideExternal = 11;

QByteArray pcpMap(const QByteArray& nonce, const QHostAddress& client, const MapRequest& request);
QByteArray natPmpMap(const MapRequest& request);
QByteArray natPmpAddress();

struct Answer {
    enum class Kind { PcpMap, NatPmpMap, NatPmpAddress, UnsupportedVersion };
    Kind kind = Kind::PcpMap;
    int result = 0;  // 0: success
    QByteArray nonce;
    MapProtocol protocol = MapProtocol::Tcp;
    int internalPort = 0;
    int externalPort = 0;
    int lifetimeSeconds = 0;
    QHostAddress externalAddress;
};

// Any bytes: an answer of one of the kinds above, or nothing.
std::optional<Answer> parse(const QByteArray& datagram);

// The default route's gateway from the text of /proc/net/route; null if none.
QHostAddress defaultGateway(const QByteArray& routeTable);

}  // namespace GatewayMessage
