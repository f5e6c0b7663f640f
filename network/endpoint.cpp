#include "endpoint.h"

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
    return relayed ? stream.text() + u'/' + QString::number(datagramPort) : stream.text();
}

std::optional<JoinWay> JoinWay::parse(const QString& text) {
    const qsizetype slash = text.indexOf(u'/');
    const std::optional<Endpoint> stream = Endpoint::parse(slash < 0 ? text : text.left(slash));
    if (!stream) {
        return std::nullopt;
    }
    if (slash < 0) {
        return JoinWay{*stream, stream->port, false};
    }
    bool ok = false;
    const int port = text.mid(slash + 1).toInt(&ok);
    if (!ok || port < 1 || port > 65535) {
        return std::nullopt;
    }
    return JoinWay{*stream, port, true};
}
