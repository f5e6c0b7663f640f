#pragma once

// A Server on recording connections, driven by hand: a seeded generator, a
// manual clock and timers so long that only the test moves time forward.
#include <QPointer>
#include <functional>
#include <memory>

#include "server/server.h"
#include "tests/game/fieldsetup.h"
#include "tests/support/fakeconnection.h"

// Records, besides its own call list, the calls whose order across connections
// matters in one journal shared by all connections, so it outlives the server.
class JournalConnection : public FakeConnection {
    Q_OBJECT

public:
    JournalConnection(const QString& label, bool datagram, QStringList* journal)
        : FakeConnection(datagram), label_(label), journal_(journal) {}

    // Called after each journalled operation, to raise events from inside a send.
    std::function<void(const QString& op)> onSend;

    int connectToHost(const QHostAddress& address, int port) override {
        log(QStringLiteral("connectToHost"));
        return FakeConnection::connectToHost(address, port);
    }
    void disconnectClient(int clientId, bool immediately) override {
        FakeConnection::disconnectClient(clientId, immediately);
        log(QStringLiteral("disconnectClient %1 %2").arg(clientId).arg(immediately));
    }
    void sendServerOnline(bool reliable, int port) override {
        FakeConnection::sendServerOnline(reliable, port);
        log(QStringLiteral("SON %1").arg(port));
    }
    void sendServerOffline(bool reliable, int port) override {
        FakeConnection::sendServerOffline(reliable, port);
        log(QStringLiteral("SOF %1").arg(port));
    }
    void sendSStart(bool reliable, int clientId, int fieldsizeX, int countDown) override {
        FakeConnection::sendSStart(reliable, clientId, fieldsizeX, countDown);
        log(QStringLiteral("SSRT %1").arg(countDown));
    }
    void sendSGameOver(bool reliable, int score, int lines, const QString& playtime) override {
        FakeConnection::sendSGameOver(reliable, score, lines, playtime);
        log(QStringLiteral("SSTP"));
    }
    void sendSGameState(bool reliable, int clientId, int fieldsizeX, bool paused, int score,
                        const QString& playtime, const QByteArray& field,
                        const QList<GameBlock*>& blocks) override {
        FakeConnection::sendSGameState(reliable, clientId, fieldsizeX, paused, score, playtime,
                                       field, blocks);
        log(QStringLiteral("SCST"));
    }
    void sendSNewBlock(bool reliable, const GameBlock& block) override {
        FakeConnection::sendSNewBlock(reliable, block);
        log(QStringLiteral("SBLC"));
    }

private:
    void log(const QString& op) {
        journal_->append(label_ + QLatin1Char(':') + op);
        if (onSend) {
            onSend(op);
        }
    }
    QString label_;
    QStringList* journal_;
};

// Timers that never fire while a test drives the server by hand.
inline ServerTimings quietTimings() {
    ServerTimings t;
    t.tickMs = t.countdownMs = t.heartbeatMs = 3600000;
    return t;
}

struct HarnessOptions {
    ServerSettings settings;
    MasterserverSettings masterServer;
    QUrl statsEndpoint;
    ServerTimings timings = quietTimings();
};

struct ServerHarness {
    explicit ServerHarness(const HarnessOptions& options = {}) {
        auto* s = new JournalConnection(QStringLiteral("stream"), false, &journal);
        auto* d = new JournalConnection(QStringLiteral("datagram"), true, &journal);
        auto* m = new JournalConnection(QStringLiteral("master"), true, &journal);
        stream = s;
        datagram = d;
        master = m;
        server = std::make_unique<Server>(options.settings, s, d, m, options.masterServer,
                                          options.statsEndpoint, options.timings, random, clock);
    }

    // A client's player list: names, colours and statuses of its two local players.
    void players(int connId, const QStringList& names, const QList<int>& colours,
                 const QList<int>& status) {
        Q_EMIT stream->changedSPlayers(connId, names, colours, status);
    }
    void join(int connId, const QString& name,
              GamePlayer::PlayerStatus status = GamePlayer::Waiting, int colour = -1) {
        players(connId, {name, QString()}, {colour, -1}, {status, -1});
    }
    // n players on connections 0..n-1 become Ready; the game starts by itself
    // and the countdown runs down to 0.
    void startPlaying(int n) {
        for (int c = 0; c < n; ++c) {
            join(c, QStringLiteral("P%1").arg(c));
        }
        for (int c = 0; c < n; ++c) {
            join(c, QStringLiteral("P%1").arg(c), GamePlayer::Ready);
        }
        countDown();
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
        Q_EMIT datagram->changedSPlayerInput(connId, input);
    }
    void tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            clock.advance(20);
            server->mainLoop();
        }
    }

    GameSimulation& sim() { return server->simulation(); }
    GameBlock& block(int slot) { return *sim().player(slot)->currentBlock(); }
    void setBlock(int slot, int kind, int x, int y, int rotation = 0) {
        fieldsetup::setBlock(sim(), slot, kind, x, y, rotation);
    }
    void landBox(int column, int row) { fieldsetup::landBox(sim().field(), column, row); }

    // The status column of the last player list.
    QVariantList lastStatuses() const {
        return stream->last(QStringLiteral("sendSPlayerlist"))[4].toList();
    }
    QVariantList lastColours() const {
        return stream->last(QStringLiteral("sendSPlayerlist"))[3].toList();
    }

    RandomSource random{7};
    ManualClock clock;
    QStringList journal;
    QPointer<JournalConnection> stream;
    QPointer<JournalConnection> datagram;
    QPointer<JournalConnection> master;
    std::unique_ptr<Server> server;
};
