#pragma once

#include <QHostAddress>
#include <QStringList>
#include <deque>
#include <functional>

#include "network/hostlookup.h"

// A resolver that answers only when the test says so, oldest question first.
struct FakeHostLookup {
    QStringList asked;
    std::deque<std::function<void(QList<QHostAddress>)>> waiting;

    HostLookup lookup() {
        return
            [this](const QString& name, QObject*, std::function<void(QList<QHostAddress>)> done) {
                asked.append(name);
                waiting.push_back(std::move(done));
            };
    }
    void answer(const QList<QHostAddress>& found) {
        const auto done = std::move(waiting.front());
        waiting.pop_front();
        done(found);
    }
};
