#pragma once

// A Server on recording connections, driven by hand: a seeded generator, a
// manual clock and timers so long that only the test moves time forward.
#include <QHash>
#include <QPointer>
#include <functional>
#include <memory>

#include "server/server.h"
#include "tests/game/fieldsetup.h"
#include "tests/support/fakeconnection.h"

// The calls whose order across connections matters, as one journal line
// each ("SSRT 3", "disconnectClient 1 0"); empty for the others.
inline QString journalEntry(const CallLog::Call& call) {
    const QVariantList& a = call.args;
    if (call.op == QLatin1String("disconnectClient")) {
        return QStringLiteral("disconnectClient %1 %2").arg(a[0].toInt()).arg(a[1].toBool());
    }
    // The line's name, and which argument follows it (-1: none).
    static const QHash<QString, std::pair<QString, int>> lines = {
        {"connectToHost", {"connectToHost", -1}}, {"sendServerOnline", {"SON", 1}},
        {"sendServerOffline", {"SOF", 1}},        {"sendSStart", {"SSRT", 3}},
        {"sendSGameOver", {"SSTP", -1}},          {"sendSGameState", {"SCST", -1}},
        {"sendSNewBlock", {"SBLC", -1}}};
    const auto [name, arg] = lines.value(call.op, {QString(), -1});
    return arg < 0 ? name : name + QLatin1Char(' ') + QString::number(a[arg].toInt());
}

// Numbers as the recorded calls carry them, statuses too.
inline QVariantList ints(std::initializer_list<int> values) {
    QVariantList out;
    for (int v : values) {
        out << v;
    }
    return out;
}

using Status = GamePlayer::PlayerStatus;

// Timers that never fire while a test drives the server by hand.
inline ServerTimings quietTimings() {
    return {.tickMs = 3600000, .countdownMs = 3600000, .heartbeatMs = 3600000};
}

struct HarnessOptions {
    ServerSettings settings;
    MasterserverSettings masterServer;
    QUrl statsEndpoint;
    ServerTimings timings = quietTimings();
    QString replayFolder;
};

struct ServerHarness {
    explicit ServerHarness(const HarnessOptions& options = {}) {
        stream = new FakeServerConnection;
        datagram = new FakeServerConnection;
        master = new FakeMasterConnection;
        stream->onCall = journalTo(QStringLiteral("stream"));
        datagram->onCall = journalTo(QStringLiteral("datagram"));
        master->onCall = journalTo(QStringLiteral("master"));
        server = std::make_unique<Server>(
            options.settings, Server::Links{stream, datagram, master},
            Server::Reporting{options.masterServer, options.statsEndpoint},
            Server::Environment{options.timings, &random, &clock, options.replayFolder});
    }

    // A client's stream hello, answered by the server's own gate: the first
    // to come holds the host key.
    PlayerGate::Verdict admit(int connId, int players = 1) {
        const ServerSettings& s = server->settings();
        const bool first = server->sessions().clientIds().isEmpty();
        return stream->gate->admit(GameChannel::Stream,
                                   {connId, players, first ? s.hostKey : -1, s.password},
                                   QHostAddress::LocalHost);
    }

    std::function<void(const CallLog::Call&)> journalTo(const QString& label) {
        return [this, label](const CallLog::Call& call) {
            const QString entry = journalEntry(call);
            if (entry.isEmpty()) {
                return;
            }
            journal.append(label + QLatin1Char(':') + entry);
            if (onJournal) {
                onJournal(journal.last());
            }
        };
    }

    // A client's player list: names, colours and statuses of its two local players.
    void players(int connId, const QStringList& names, const QList<int>& colours,
                 const QList<int>& status) {
        if (server->sessions().find(connId) == nullptr) {
            admit(connId, names.value(1).isEmpty() ? 1 : 2);
        }
        Q_EMIT stream->changedSPlayers(connId, {names, colours, status});
    }
    void join(int connId, const QString& name,
              GamePlayer::PlayerStatus status = GamePlayer::Waiting, int colour = -1) {
        players(connId, {name, QString()}, {colour, -1}, {status, -1});
    }
    // One single player per connection, from `first` on.
    void joinAll(const QStringList& names, Status status = GamePlayer::Waiting, int first = 0) {
        for (int c = 0; c < names.size(); ++c) {
            join(first + c, names[c], status);
        }
    }
    // The players on connections first.. all join, then become Ready; the
    // game starts by itself and the countdown runs down to 0.
    void startPlaying(const QStringList& names, int first = 0) {
        joinAll(names, GamePlayer::Waiting, first);
        joinAll(names, GamePlayer::Ready, first);
        countDown();
    }
    // n players P0..P(n-1) on connections 0..n-1.
    void startPlaying(int n) {
        QStringList names;
        for (int c = 0; c < n; ++c) {
            names << QStringLiteral("P%1").arg(c);
        }
        startPlaying(names);
    }
    // A box just above the field: the next tick ends the game.
    void endGame() {
        landBox(0, GameField::kFieldRows);
        server->mainLoop();
    }
    void countDown(int steps = 3) {
        for (int i = 0; i < steps; ++i) {
            server->updateCountDown();
        }
    }
    void press(int connId, int key, int local = 0) {
        const GamePlayer* p = sim().player(sim().findPlayer(connId, local));
        QList<int> input(10, 0);
        for (int k = 0; k < 5; ++k) {
            input[local * 5 + k] = p->keyCount()[k] + (k == key ? 1 : 0);
        }
        Q_EMIT datagram->changedSPlayerInput(connId, KeyInput::fromList(input));
    }
    void tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            clock.advance(20);
            server->mainLoop();
        }
    }

    GameSimulation& sim() { return server->simulation(); }
    GameBlock& block(int slot) { return *sim().player(slot)->currentBlock(); }
    void landBox(int column, int row) { fieldsetup::landBox(sim().field(), column, row); }

    // The last call of op when both connections heard the same one.
    QVariantList both(const QString& op) const {
        const QVariantList s = stream->last(op);
        return s == datagram->last(op) ? s : QVariantList{QStringLiteral("the sides differ")};
    }
    // Columns of the last player list.
    QVariant lastList(int column) const { return stream->last("sendSPlayerlist").value(column); }
    QStringList lastNames() const { return lastList(2).toStringList(); }
    QVariantList lastColours() const { return lastList(3).toList(); }
    QVariantList lastStatuses() const { return lastList(4).toList(); }

    RandomSource random{7};
    ManualClock clock;
    QStringList journal;
    // Called after each journal line, to raise events from inside a send.
    std::function<void(const QString& line)> onJournal;
    QPointer<FakeServerConnection> stream;
    QPointer<FakeServerConnection> datagram;
    QPointer<FakeMasterConnection> master;
    std::unique_ptr<Server> server;
};
