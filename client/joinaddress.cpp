#include "joinaddress.h"

JoinAddress JoinAddress::parse(const QString& text, int defaultPort) {
    JoinAddress a{text, defaultPort};
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
        bool ok = false;
        a.host = text.left(colon);
        a.port = text.mid(colon + 1).toInt(&ok);
        if (!ok || a.port <= 0 || a.port > 65535) {
            a.host.clear();
        }
    }
    a.host = a.host.trimmed();
    return a;
}
