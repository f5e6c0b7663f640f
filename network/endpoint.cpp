#include "endpoint.h"

#include <algorithm>

QHostAddress Endpoint::plain(const QHostAddress& address) {
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    return ok ? QHostAddress(v4) : address;
}

QString Endpoint::text() const {
    const QHostAddress a = plain(address);
    const QString host =
        a.protocol() == QAbstractSocket::IPv6Protocol ? u'[' + a.toString() + u']' : a.toString();
    return host + u':' + QString::number(port);
}

std::optional<Endpoint> Endpoint::parse(const QString& text) {
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0) {
        return std::nullopt;
    }
    QString host = text.left(colon);
    const bool bracketed = host.startsWith(u'[') && host.endsWith(u']');
    if (bracketed) {
        host = host.mid(1, host.size() - 2);
    }
    const QHostAddress address(host);
    bool ok = false;
    const int port = text.mid(colon + 1).toInt(&ok);
    // An IPv6 address without brackets has its last group taken for a port.
    if (address.isNull() || !ok || port < 1 || port > 65535 ||
        (address.protocol() == QAbstractSocket::IPv6Protocol && !bracketed)) {
        return std::nullopt;
    }
    return Endpoint{plain(address), port};
}

QString JoinWay::text() const {
    switch (kind) {
        case Kind::Relayed:
            return stream.text() + u'/' + QString::number(datagramPort);
        case Kind::Punched:
            return stream.text() + u'+' + QString::number(datagramPort);
        case Kind::Direct:
            break;
    }
    return stream.text();
}

std::optional<JoinWay> JoinWay::parse(const QString& text) {
    // After the last colon: an IPv6 address holds neither sign.
    qsizetype sign = -1;
    for (qsizetype i = std::max<qsizetype>(0, text.lastIndexOf(u':')); i < text.size(); ++i) {
        if (text.at(i) == u'/' || text.at(i) == u'+') {
            sign = i;
            break;
        }
    }
    const std::optional<Endpoint> stream = Endpoint::parse(sign < 0 ? text : text.left(sign));
    if (!stream) {
        return std::nullopt;
    }
    if (sign < 0) {
        return JoinWay{*stream, stream->port, Kind::Direct};
    }
    bool ok = false;
    const QString rest = text.mid(sign + 1);
    const int port = rest.toInt(&ok);
    if (!ok || port < 1 || port > 65535 || rest.startsWith(u'+')) {
        return std::nullopt;
    }
    return JoinWay{*stream, port, text.at(sign) == u'/' ? Kind::Relayed : Kind::Punched};
}
