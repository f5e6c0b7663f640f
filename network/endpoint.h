#pragma once

#include <QHostAddress>
#include <QMetaType>
#include <QString>
#include <optional>

// An address and a port as one text: "192.0.2.5:27403", and IPv6 in brackets,
// "[2001:db8::5]:27403", so that the port stays the part after the last colon.
// An IPv4-mapped IPv6 address is written as the IPv4 address it maps.
struct Endpoint {
    QHostAddress address;
    int port = 0;

    QString text() const;
    // Nothing unless the address is numeric and the port 1 to 65535.
    static std::optional<Endpoint> parse(const QString& text);
    // IPv4-mapped addresses as plain IPv4, what dual-stack sockets report.
    static QHostAddress plain(const QHostAddress& address);
};

// A way into a game that the master server names: one endpoint for the stream
// and the datagrams alike; through its relay "address:port/port", the
// stream's relayed port and then the datagrams'; or punched through both
// routers "address:port+port", the port the game opened its stream from and
// then its datagram port. A punched way is tried from the local port the
// lookup left from, the one the game opened towards.
struct JoinWay {
    enum class Kind { Direct, Relayed, Punched };
    Endpoint stream;
    int datagramPort = 0;
    Kind kind = Kind::Direct;

    Endpoint datagrams() const { return {stream.address, datagramPort}; }
    QString text() const;
    static std::optional<JoinWay> parse(const QString& text);
};
Q_DECLARE_METATYPE(JoinWay)
