#include "gatewaymessage.h"

#include <QtEndian>

namespace GatewayMessage {

namespace {

constexpr quint8 kPcpVersion = 2;
constexpr quint8 kPcpMap = 1;
constexpr quint8 kResponseBit = 0x80;
constexpr int kPcpMapSize = 60;
constexpr int kNatPmpMapSize = 16;
constexpr int kNatPmpAddressSize = 12;
constexpr quint8 kIanaTcp = 6;
constexpr quint8 kIanaUdp = 17;
constexpr quint8 kNatPmpUdp = 1;
constexpr quint8 kNatPmpTcp = 2;

void put16(QByteArray& out, int value) {
    out.append(char((value >> 8) & 0xff)).append(char(value & 0xff));
}

void put32(QByteArray& out, quint32 value) {
    put16(out, int(value >> 16));
    put16(out, int(value & 0xffff));
}

// IPv4 addresses travel IPv4-mapped in 16 bytes.
void putAddress(QByteArray& out, const QHostAddress& address) {
    bool v4 = false;
    const quint32 ipv4 = address.toIPv4Address(&v4);
    if (!v4) {
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        out.append(reinterpret_cast<const char*>(bytes.c), 16);
        return;
    }
    out.append(10, '\0').append(2, char(0xff));
    put32(out, ipv4);
}

quint16 get16(const QByteArray& in, int at) {
    return qFromBigEndian<quint16>(in.constData() + at);
}

quint32 get32(const QByteArray& in, int at) {
    return qFromBigEndian<quint32>(in.constData() + at);
}

QHostAddress getAddress(const QByteArray& in, int at) {
    Q_IPV6ADDR bytes;
    std::copy_n(in.constData() + at, 16, reinterpret_cast<char*>(bytes.c));
    QHostAddress address(bytes);
    bool v4 = false;
    const quint32 ipv4 = address.toIPv4Address(&v4);
    return v4 ? QHostAddress(ipv4) : address;
}

int clampLifetime(quint32 seconds) {
    return int(std::min<quint32>(seconds, 0x7fffffff));
}

}  // namespace

QByteArray pcpMap(const QByteArray& nonce, const QHostAddress& client, const MapRequest& r) {
    QByteArray out;
    out.append(char(kPcpVersion)).append(char(kPcpMap));
    put16(out, 0);
    put32(out, quint32(r.lifetimeSeconds));
    putAddress(out, client);
    out.append(nonce.left(kNonceSize).leftJustified(kNonceSize, '\0'));
    out.append(char(r.protocol == MapProtocol::Tcp ? kIanaTcp : kIanaUdp));
    out.append(3, '\0');
    put16(out, r.internalPort);
    put16(out, r.externalPort);
    putAddress(out, QHostAddress(QHostAddress::AnyIPv4));  // any address, but IPv4
    return out;
}

QByteArray natPmpMap(const MapRequest& r) {
    QByteArray out;
    out.append('\0').append(char(r.protocol == MapProtocol::Tcp ? kNatPmpTcp : kNatPmpUdp));
    put16(out, 0);
    put16(out, r.internalPort);
    put16(out, r.externalPort);
    put32(out, quint32(r.lifetimeSeconds));
    return out;
}

QByteArray natPmpAddress() {
    return QByteArray(2, '\0');
}

std::optional<Answer> parse(const QByteArray& d) {
    if (d.size() < 4) {
        return std::nullopt;
    }
    const quint8 version = quint8(d[0]);
    const quint8 opcode = quint8(d[1]);
    Answer a;
    if (version == 0 && get16(d, 2) == kUnsupportedVersion && (opcode & kResponseBit)) {
        a.kind = Answer::Kind::UnsupportedVersion;
        a.result = kUnsupportedVersion;
        return a;
    }
    if (version == kPcpVersion && opcode == (kResponseBit | kPcpMap) && d.size() >= kPcpMapSize) {
        const quint8 protocol = quint8(d[36]);
        if (protocol != kIanaTcp && protocol != kIanaUdp) {
            return std::nullopt;
        }
        a.kind = Answer::Kind::PcpMap;
        a.result = quint8(d[3]);
        a.lifetimeSeconds = clampLifetime(get32(d, 4));
        a.nonce = d.mid(24, kNonceSize);
        a.protocol = protocol == kIanaTcp ? MapProtocol::Tcp : MapProtocol::Udp;
        a.internalPort = get16(d, 40);
        a.externalPort = get16(d, 42);
        a.externalAddress = getAddress(d, 44);
        return a;
    }
    if (version != 0) {
        return std::nullopt;
    }
    a.result = get16(d, 2);
    if (opcode == kResponseBit && d.size() >= kNatPmpAddressSize) {
        a.kind = Answer::Kind::NatPmpAddress;
        a.externalAddress = QHostAddress(get32(d, 8));
        return a;
    }
    if ((opcode == (kResponseBit | kNatPmpTcp) || opcode == (kResponseBit | kNatPmpUdp)) &&
        d.size() >= kNatPmpMapSize) {
        a.kind = Answer::Kind::NatPmpMap;
        a.protocol = opcode == (kResponseBit | kNatPmpTcp) ? MapProtocol::Tcp : MapProtocol::Udp;
        a.internalPort = get16(d, 8);
        a.externalPort = get16(d, 10);
        a.lifetimeSeconds = clampLifetime(get32(d, 12));
        return a;
    }
    return std::nullopt;
}

QHostAddress defaultGateway(const QByteArray& routeTable) {
    // Columns: Iface Destination Gateway Flags ...; addresses in hex, host byte order.
    for (const QByteArray& line : routeTable.split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 4 || f[1] != "00000000") {
            continue;
        }
        bool gatewayOk = false;
        bool flagsOk = false;
        const quint32 gateway = f[2].toUInt(&gatewayOk, 16);
        const quint32 flags = f[3].toUInt(&flagsOk, 16);
        constexpr quint32 kUp = 0x1;
        constexpr quint32 kGateway = 0x2;
        if (gatewayOk && flagsOk && gateway != 0 &&
            (flags & (kUp | kGateway)) == (kUp | kGateway)) {
            // The kernel prints the address's bytes as a number of this machine.
            return QHostAddress(qFromBigEndian<quint32>(&gateway));
        }
    }
    return {};
}

}  // namespace GatewayMessage
