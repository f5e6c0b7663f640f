#include "joinaddress.h"

JoinAddress JoinAddress::parse(const QString& typed, int defaultPort) {
    const QString text = typed.trimmed();
    JoinAddress a{text, defaultPort};
    // "[2001:db8::5]:27403" or "[2001:db8::5]"; an IPv6 address without
    // brackets has colons of its own and takes the default port.
    qsizetype colon = -1;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        if (close < 0 || (close + 1 < text.size() && text[close + 1] != u':')) {
            return {QString(), defaultPort};
        }
        a.host = text.mid(1, close - 1);
        colon = close + 1 < text.size() ? close + 1 : -1;
    } else if (text.count(u':') == 1) {
        colon = text.indexOf(u':');
        a.host = text.left(colon);
    }
    if (colon >= 0) {
        bool ok = false;
        a.port = text.mid(colon + 1).toInt(&ok);
        if (!ok || a.port <= 0 || a.port > 65535) {
            a.host.clear();
        }
    }
    a.host = a.host.trimmed();
    return a;
}
