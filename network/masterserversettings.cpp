#include "masterserversettings.h"

#include <QDir>
#include <QHostInfo>
#include <QSettings>

#include "game/appinfo.h"

MasterserverSettings MasterserverSettings::load(const QString& directory, bool lookUpNames) {
    return loadFile(QDir(directory.isEmpty() ? QDir::currentPath() : directory)
                        .filePath(QLatin1String(Quadrell::kMasterserverFile)),
                    lookUpNames);
}

MasterserverSettings MasterserverSettings::loadFile(const QString& path, bool lookUpNames) {
    const QSettings file(path, QSettings::IniFormat);
    MasterserverSettings s;
    s.addressText = file.value(QStringLiteral("Master/General/Address"), QString()).toString();
    bool ok = false;
    const int port =
        file.value(QStringLiteral("Master/General/Port"), Quadrell::kDefaultMasterPort).toInt(&ok);
    s.port = (ok && port > 0 && port <= 65535) ? port : Quadrell::kDefaultMasterPort;
    s.address =
        lookUpNames ? resolve(s.addressText, &s.address6) : QHostAddress(s.addressText.trimmed());
    return s;
}

QHostAddress MasterserverSettings::resolve(const QString& text, QHostAddress* address6) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        return {};
    }
    const QHostAddress numeric(trimmed);
    if (!numeric.isNull()) {
        return numeric;
    }
    const QHostInfo info = QHostInfo::fromName(trimmed);
    // IPv4 first: it reaches nearly everybody, and a list answer carries the
    // servers of the family asked in.
    QHostAddress v4;
    QHostAddress v6;
    for (const QHostAddress& a : info.addresses()) {
        QHostAddress& slot = a.protocol() == QAbstractSocket::IPv4Protocol ? v4 : v6;
        if (slot.isNull()) {
            slot = a;
        }
    }
    if (address6 != nullptr && !v4.isNull()) {
        *address6 = v6;
    }
    return v4.isNull() ? v6 : v4;
}
