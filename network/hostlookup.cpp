#include "hostlookup.h"

#include <QHostInfo>

HostLookup systemHostLookup() {
    return
        [](const QString& name, QObject* context, std::function<void(QList<QHostAddress>)> done) {
            QHostInfo::lookupHost(name, context, [done = std::move(done)](const QHostInfo& info) {
                done(info.error() == QHostInfo::NoError ? info.addresses() : QList<QHostAddress>());
            });
        };
}

void resolveHost(const HostLookup& lookup, const QString& text, QObject* context,
                 std::function<void(QHostAddress)> done) {
    const QString name = text.trimmed();
    const QHostAddress numeric(name);
    if (!numeric.isNull() || name.isEmpty()) {
        done(numeric);
        return;
    }
    lookup(name, context, [done = std::move(done)](const QList<QHostAddress>& found) {
        // Our sockets speak IPv4 first; a name with both kinds takes that one.
        for (const QHostAddress& a : found) {
            if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                done(a);
                return;
            }
        }
        done(found.isEmpty() ? QHostAddress() : found.constFirst());
    });
}
