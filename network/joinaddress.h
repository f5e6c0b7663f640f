#pragma once

#include <QString>

// What a player typed to join: "host" or "host:port", the host a numeric
// address or a name; an IPv6 address alone or in brackets with a port,
// "[2001:db8::5]:27403". A port that is not 1..65535 leaves no host, so the
// join ends as "not found" rather than at some other port.
struct JoinAddress {
    QString host;  // trimmed; empty when nothing usable was given
    int port = 0;

    static JoinAddress parse(const QString& text, int defaultPort);
};
