#pragma once

#include <QObject>
#include <QStringList>

// A list of numbers as one comma-separated word.
template <typename T>
QString joinedNumbers(const QList<T>& list) {
    QStringList parts;
    for (const T& v : list) {
        parts.append(QString::number(int(v)));
    }
    return parts.join(QLatin1Char(','));
}

// Each signal recorded becomes one line "name arg arg ..." in `events`; Text::of spells
// the arguments, so a failing comparison reads as what happened.
template <typename Text>
struct SignalLog {
    QStringList events;

    template <typename Sender, typename... Args>
    void record(Sender* sender, void (Sender::*signal)(Args...), const char* name) {
        QObject::connect(sender, signal, [this, name](Args... args) {
            QStringList parts{QLatin1String(name)};
            (parts.append(Text::of(args)), ...);
            events.append(parts.join(QLatin1Char(' ')));
        });
    }
    QStringList eventsOf(const QString& prefix) const {
        QStringList out;
        for (const QString& e : events) {
            if (e.startsWith(prefix)) {
                out.append(e);
            }
        }
        return out;
    }
};
