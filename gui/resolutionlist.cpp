#include "resolutionlist.h"

#include <QGuiApplication>
#include <QScreen>

QString ResolutionList::key(int width, int height) {
    return QStringLiteral("%1x%2")
        .arg(width, 4, 10, QLatin1Char('0'))
        .arg(height, 4, 10, QLatin1Char('0'));
}

void ResolutionList::rebuild(const QList<DisplayMode>& modes) {
    modes_.clear();
    for (const DisplayMode& m : modes) {
        if (m.width > 639 && m.height > 479 && m.bitsPerPixel == 32) {
            modes_.insert_or_assign(key(m.width, m.height), m);
        }
    }
}

QStringList ResolutionList::keys() const {
    QStringList out;
    for (const auto& [k, m] : modes_) {
        out.append(k);
    }
    return out;
}

DisplayMode ResolutionList::mode(const QString& key) const {
    const auto it = modes_.find(key);
    return it == modes_.end() ? DisplayMode{} : it->second;
}

QString ResolutionList::step(const QString& key, bool forward) const {
    if (modes_.empty()) {
        return QString();
    }
    if (forward) {
        const auto it = modes_.upper_bound(key);
        return it == modes_.end() ? modes_.begin()->first : it->first;
    }
    auto it = modes_.lower_bound(key);
    if (it == modes_.begin()) {
        return modes_.rbegin()->first;
    }
    return std::prev(it)->first;
}

QString ResolutionList::display(const QString& key) {
    const QStringList parts = key.split(QLatin1Char('x'));
    if (parts.size() != 2) {
        return key;
    }
    return QStringLiteral("%1x%2").arg(parts[0].toInt()).arg(parts[1].toInt());
}

QList<DisplayMode> ResolutionList::screenModes() {
    QList<DisplayMode> out;
    for (const QScreen* s : QGuiApplication::screens()) {
        out.append(currentModeOf(*s));
    }
    return out;
}
