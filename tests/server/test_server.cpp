// The game server on recording connections: joining, the automatic start and
// its countdown, pause and resume, leaving, kicking, chat, the game over, the
// snapshot for late joiners and the master server heartbeat.
#include <QTest>

#include "game/gamegrid.h"
#include "network/fieldimage.h"
#include "serverharness.h"

namespace {

using enum GamePlayer::PlayerStatus;

QList<int> column(const QList<QVariantList>& calls, int index) {
    QList<int> out;
    for (const QVariantList& c : calls) {
        out << c[index].toInt();
    }
    return out;
}

}  // namespace

class TestServer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void allReadyStartsByItselfWithThreePlayers() {
        ServerHarness h;
        h.joinAll({"P0", "P1"});
        h.joinAll({"P0", "P1"}, Ready);
        QVERIFY(h.server->countdownRunning());
        // A list change during the start countdown cancels it.
        h.join(2, "P2");
        QCOMPARE(h.both("sendSRestart"), QVariantList({true, -1}));
        QCOMPARE(h.lastStatuses(), ints({Waiting, Waiting, Waiting, Empty}));
        QVERIFY(!h.server->countdownRunning() && !h.sim().running());

        h.join(2, "P2", Ready);
        h.join(1, "P1", Ready);
        QCOMPARE(h.stream->count("sendSStart"), 1);
        h.journal.clear();
        h.join(0, "P0", Ready);

        // Started for the last player in slot order, not for the last to get ready.
        QCOMPARE(h.both("sendSStart"), QVariantList({true, 2, 36, 3}));
        QCOMPARE(h.lastStatuses(), ints({Playing, Playing, Playing, Empty}));
        // The countdown reaches the clients before their first blocks do.
        QVERIFY(h.journal.indexOf("datagram:SSRT 3") < h.journal.indexOf("datagram:SBLC"));
        QVERIFY(!h.server->tickRunning());

        h.countDown();
        QCOMPARE(column(h.stream->callsOf("sendSStart"), 3), QList<int>({3, 3, 2, 1, 0}));
        QCOMPARE(column(h.datagram->callsOf("sendSStart"), 3), QList<int>({3, 3, 2, 1, 0}));
        QVERIFY(!h.server->countdownRunning() && h.server->tickRunning());
        // Each first block enters on row 25, four columns into its player's part.
        for (int j = 0; j < 3; ++j) {
            QCOMPARE(QPoint(h.block(j).x(), h.block(j).y()), QPoint((4 + 12 * j) * 50, 25 * 50));
        }

        // A second player alone on its connection starts a game too; its pause
        // request during the start countdown cancels the start.
        ServerHarness lone;
        lone.players(1, {QString(), "B"}, {-1, -1}, {Ready, Ready});
        QCOMPARE(lone.stream->last("sendSStart"), QVariantList({true, 1, 12, 3}));
        Q_EMIT lone.stream->changedSPlayerPause(1);
        QCOMPARE(lone.stream->last("sendSRestart"), QVariantList({true, -1}));
        QVERIFY(!lone.sim().running());
    }

    void splitscreenPausesBothAndResumeCountsDown() {
        ServerHarness h;
        const QStringList pair = {"A", "B"};
        h.players(0, pair, {-1, -1}, {Waiting, Waiting});
        h.join(1, "C");
        h.players(0, pair, {-1, -1}, {Ready, Ready});
        h.join(1, "C", Ready);
        h.countDown();
        h.tick();
        h.join(2, "Watcher");

        Q_EMIT h.stream->changedSPlayerPause(0);
        QCOMPARE(h.lastStatuses(), ints({Pausing, Pausing, Playing, Spectating}));
        QCOMPARE(h.stream->last("sendSPause"), QVariantList({true, 0, -1}));
        QCOMPARE(h.server->pauseCount(), 2);
        QVERIFY(h.sim().paused() && !h.server->tickRunning());

        const int y = h.block(2).y();

        Q_EMIT h.stream->changedSPlayerPause(0);
        QCOMPARE(h.lastStatuses(), ints({Playing, Playing, Playing, Spectating}));
        QVERIFY(h.server->countdownRunning() && h.sim().paused());
        // Someone outside the game cannot hold the resume up.
        Q_EMIT h.stream->changedSPlayerPause(2);
        Q_EMIT h.stream->changedSPlayerPause(3);
        QVERIFY(h.server->countdownRunning());
        // A list change stops the resume but, unlike a start, does not end the game.
        h.join(2, "Watcher", Waiting, 3);
        QVERIFY(!h.server->countdownRunning() && h.sim().paused() && h.sim().running());
        QCOMPARE(h.stream->count("sendSRestart"), 0);
        Q_EMIT h.stream->changedSPlayerPause(0);
        Q_EMIT h.stream->changedSPlayerPause(0);

        h.countDown();
        QCOMPARE(column(h.stream->callsOf("sendSPause"), 2), QList<int>({-1, 3, -1, 3, 2, 1, 0}));
        QVERIFY(!h.sim().paused() && h.server->tickRunning());
        h.tick();
        QCOMPARE(h.block(2).y(), y - 1);

        // Every movement tells each client what the tick carried out of its
        // own players' keys: both of a split screen, none without a player.
        h.press(0, 1, 1);
        h.press(1, 0);
        h.tick();
        const QVariantList done = h.datagram->last(QStringLiteral("sendSMoveBlocks"))[3].toList();
        QCOMPARE(done.size(), 4);
        QCOMPARE(done[0].toList(), ints({0, 0, 0, 0, 0, 0, 1, 0, 0, 0}));
        QCOMPARE(done[1].toList(), ints({1, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
        QVERIFY(done[3].toList().isEmpty());

        // Counters that stand are left out, but for copies against loss and a refresh.
        const auto nextTold = [&h] {
            const int sent = h.datagram->count("sendSMoveBlocks");
            for (int i = 0; i < 1000 && h.datagram->count("sendSMoveBlocks") == sent; ++i) {
                h.tick();
            }
            return h.datagram->last("sendSMoveBlocks")[3].toList()[0].toList();
        };
        for (int i = 1; i < SessionChannels::kEchoCopies; ++i) {
            QCOMPARE(nextTold(), done[0].toList());
        }
        for (int i = 1; i < SessionChannels::kEchoRefreshMoves; ++i) {
            QVERIFY(nextTold().isEmpty());
        }
        QCOMPARE(nextTold(), done[0].toList());
    }

    void leavingParksBlocks() {
        HarnessOptions o;
        o.settings.computerTakeover = false;  // no computer plays on
        ServerHarness h(o);
        h.startPlaying(2);
        h.tick();
        Q_EMIT h.stream->changedSPlayerPause(1);
        QVERIFY(h.sim().paused());
        const int leaverId = h.block(1).id();
        const int nextId = h.sim().player(1)->nextBlock()->id();
        const int stayerId = h.block(0).id();

        Q_EMIT h.stream->changedSPlayerDisconnect(1);
        // Its pause is taken back on the way out.
        QCOMPARE(h.stream->last("sendSPause"), QVariantList({true, 1, 3}));
        QCOMPARE(h.both("disconnectClient"), QVariantList({1, false}));
        QCOMPARE(h.lastStatuses(), ints({Playing, Empty, Empty, Empty}));
        const QVariantList moved = h.datagram->last("sendSMoveBlocks");
        QCOMPARE(moved[0].toBool(), false);
        QList<QList<int>> parked;  // id, x, y
        for (const QVariant& b : moved[1].toList()) {
            parked << QList<int>{b.toList()[0].toInt(), b.toList()[3].toInt(),
                                 b.toList()[4].toInt()};
        }
        QCOMPARE(parked, (QList<QList<int>>{{leaverId, -10000, -10000}, {nextId, -10000, -10000}}));
        QCOMPARE(moved[2].toList(), ints({stayerId, -1, -1, -1, -1, -1, -1, -1}));
        for (int r = 0; r < GameField::kRows; ++r) {
            for (int c = 0; c < h.sim().fieldsizeX(); ++c) {
                QVERIFY(h.sim().field().cell(c, r) != leaverId);
            }
        }
        QVERIFY(h.sim().running());
        QCOMPARE(h.stream->count("sendSRestart"), 0);
    }

    // A player who drops in a game keeps its seat for its token: with no
    // computer to stand in, its piece waits where it is, and it plays on
    // from there. Once time is up, or after leaving on purpose, it is gone.
    void droppedPlayerKeepsTheSeat() {
        HarnessOptions o;
        o.settings.computerTakeover = false;
        o.timings.seatGraceMs = 30;
        ServerHarness h(o);
        h.admit(0);
        const QString token = h.admit(1).token;
        h.startPlaying(3);
        h.tick();
        const auto drop = [&](int id) {
            Q_EMIT h.datagram->errorOccured(id, ConnectionInterface::Timeout);
            for (GameChannel c : {GameChannel::Stream, GameChannel::Datagram}) {
                h.stream->gate->left(c, id);  // as the connections do once they close
            }
        };
        drop(1);
        QCOMPARE(h.both("disconnectClient"), QVariantList({1, true}));  // nobody hears it left
        QCOMPARE(h.lastStatuses(), ints({Playing, Playing, Playing, Empty}));
        QVERIFY(
            h.datagram->last("sendSMessage")[2].toString().startsWith("P1 lost the connection"));
        const int waitingY = h.block(1).y();
        const int fallingY = h.block(0).y();
        h.tick(200);
        QVERIFY(h.block(0).y() < fallingY);
        QCOMPARE(h.block(1).y(), waitingY);

        const auto rejoin = [&](const QString& t) {
            return h.stream->gate->rejoin({1, 1, t}, QHostAddress::LocalHost).outcome;
        };
        QCOMPARE(rejoin(token), HelloOutcome::Accepted);
        h.join(1, "P1");
        QCOMPARE(h.both("sendSGameState").mid(0, 2), QVariantList({true, 1}));
        QCOMPARE(h.datagram->last("sendSMessage")[2].toString(), "P1 is back");
        const int x = h.block(1).x();
        h.press(1, int(slotIndex(KeySlot::Right)));
        h.tick(GameSimulation::kInputDelayTicks + 1);
        QVERIFY(h.block(1).x() != x);
        QVERIFY(h.block(1).y() < waitingY);

        drop(1);
        QTRY_COMPARE(h.lastStatuses(), ints({Playing, Empty, Playing, Empty}));
        QCOMPARE(rejoin(token), HelloOutcome::Refused);
        Q_EMIT h.stream->changedSPlayerDisconnect(2);
        QCOMPARE(h.lastStatuses(), ints({Playing, Empty, Empty, Empty}));
        QVERIFY(h.server->sessions().heldIds().isEmpty());
    }

    // With computers allowed, one stands in for the dropped player and makes
    // room when it is back, with fresh pieces in its own part of the ring.
    void standInMakesRoomForTheReturn() {
        ServerHarness h;
        h.admit(0);
        const QString token = h.admit(1).token;
        h.startPlaying(2);
        h.tick();
        Q_EMIT h.stream->errorOccured(1, ConnectionInterface::ConnectionLost);
        h.stream->gate->left(GameChannel::Stream, 1);
        h.stream->gate->left(GameChannel::Datagram, 1);
        QCOMPARE(h.lastNames(), QStringList({"P0", "CPU_1", "", ""}));
        QCOMPARE(h.server->computers().standIns().size(), 1);

        QCOMPARE(h.stream->gate->rejoin({1, 1, token}, QHostAddress::LocalHost).outcome,
                 HelloOutcome::Accepted);
        h.join(1, "P1");
        QCOMPARE(h.lastNames(), QStringList({"P0", "P1", "", ""}));
        QCOMPARE(h.lastStatuses(), ints({Playing, Playing, Empty, Empty}));
        QCOMPARE(h.server->computers().count(), 0);
        QCOMPARE(h.sim().player(1)->connId(), 1);
        QCOMPARE(GameGrid::column(24, h.block(1).x()), 16);
        QCOMPARE(h.both("sendSGameState")[1].toInt(), 1);
    }

    void automaticColoursAvoidChosenOnes() {
        ServerHarness h;
        h.joinAll({"A", "B"});
        QCOMPARE(h.lastColours(), ints({-10, -9, -1, -1}));
        h.join(2, "C", Waiting, 0);
        QCOMPARE(h.lastColours(), ints({-9, -8, 0, -1}));
        // A colour no client can draw counts as no choice.
        h.join(3, "D", Waiting, 99);
        QCOMPARE(h.lastColours(), ints({-9, -8, 0, -7}));
        // Colours of players in the game stay with their blocks.
        ServerHarness g;
        g.startPlaying(2);
        g.tick();
        g.join(2, "Watcher", Waiting, -1);
        g.join(0, "P0", Playing, 1);
        QCOMPARE(g.lastColours(), ints({1, -9, -10, -1}));
        // In a game only the server moves players in and out of it.
        g.join(1, "P1", Waiting);
        g.join(0, "P0", Pausing);
        QCOMPARE(g.lastStatuses(), ints({Playing, Playing, Spectating, Empty}));
        QCOMPARE(g.server->pauseCount(), 0);
    }

    // Two rows at once are the field's own test.
    void rowsClearedInOneTickScore() {
        for (const auto& [rows, points] : {std::pair(1, 10), std::pair(3, 50), std::pair(4, 70)}) {
            ServerHarness h;
            h.startPlaying(1);
            const int gap = 5;
            for (int r = 0; r < rows; ++r) {
                for (int c = 0; c < 12; ++c) {
                    if (c != gap) {
                        h.landBox(c, r);
                    }
                }
            }
            fieldsetup::setBlock(h.sim(), 0, 6, (gap - 1) * 50, 500, 1);  // upright I over the gap
            const int id = h.block(0).id();
            h.press(0, 4);
            h.tick();
            QCOMPARE(h.sim().score(), points);
            QCOMPARE(h.sim().lines(), rows);
            const QVariantList merged = h.datagram->last("sendSMergeBlocks");
            QCOMPARE(merged[0].toBool(), true);
            QCOMPARE(merged[1].toList()[0].toList()[0].toInt(), id);
            // What is left of the upright I sits on the floor.
            QCOMPARE(h.sim().field().rowCount(0), rows == 4 ? 0 : 1);
            QCOMPARE(h.sim().field().stackHeight(), 4 - rows);
        }
    }

    void lateJoinerAndGameOver() {
        ServerHarness h;
        h.startPlaying(1);
        fieldsetup::setBlock(h.sim(), 0, 0, 6 * 50, 10 * 50);  // an O over columns 7 and 8
        h.press(0, 4);
        h.tick();
        h.clock.advance(61000 - 20);
        Q_EMIT h.stream->changedSPlayerPause(0);
        h.journal.clear();

        h.join(1, "Late");
        QCOMPARE(h.lastStatuses(), ints({Pausing, Spectating, Empty, Empty}));
        QCOMPARE(h.journal.filter("SCST"), QStringList({"stream:SCST", "datagram:SCST"}));
        const QVariantList state = h.stream->last("sendSGameState");
        QCOMPARE(h.datagram->last("sendSGameState"), state);
        QCOMPARE(state.mid(0, 6), QVariantList({true, 1, 12, true, 0, "00:01:01"}));

        // The landed O, in its player's colour.
        const QByteArray field = state[6].toByteArray();
        QCOMPARE(field, FieldImage::pack(*h.sim().field().fieldBlock(), 12));
        QCOMPARE(FieldImage::unpack(field, 12).size(), std::size_t(4));
        const QVariantList blocks = state[7].toList();
        QCOMPARE(blocks.size(), 2);
        QCOMPARE(blocks[0].toList()[0].toInt(), h.block(0).id());
        QCOMPARE(blocks[1].toList()[0].toInt(), h.sim().player(0)->nextBlock()->id());

        // At the game over the play time is added to the score, and the
        // stream hears of it first.
        Q_EMIT h.stream->changedSPlayerPause(0);
        h.countDown();
        h.clock.advance(125000 - 61000);
        h.journal.clear();
        h.endGame();
        QCOMPARE(h.both("sendSGameOver"), QVariantList({true, 125, 0, "00:02:05"}));
        QCOMPARE(h.journal.filter("SSTP"), QStringList({"stream:SSTP", "datagram:SSTP"}));
        QCOMPARE(h.lastStatuses(), ints({Waiting, Waiting, Empty, Empty}));
        QVERIFY(!h.sim().running() && !h.server->tickRunning());
        QVERIFY(h.sim().field().fieldBlock() == nullptr);
        // Nothing more happens on later ticks.
        const int calls = h.datagram->calls.size();
        h.tick(3);
        QCOMPARE(h.datagram->calls.size(), calls);
    }

    // What a client claims is held to what our own client could send.
    void kickChatAndForgery() {
        ServerHarness h;
        h.join(0, "A", Playing);
        QCOMPARE(h.lastStatuses(), ints({Waiting, Empty, Empty, Empty}));
        const int lists = h.stream->count("sendSPlayerlist");
        h.join(4, "Nobody");
        h.join(-1, "Nobody");
        QCOMPARE(h.stream->count("sendSPlayerlist"), lists);
        h.players(1, {"B", "C"}, {-1, -1}, {Waiting, Waiting});
        h.join(2, "D");
        h.join(3, "Fifth");
        QCOMPARE(h.lastNames(), QStringList({"A", "B", "C", "D"}));

        Q_EMIT h.datagram->changedSMessage(1, {1, "hi  there"});
        QCOMPARE(h.datagram->last("sendSMessage"), QVariantList({true, 2, "hi  there"}));
        // Without a player slot nobody can speak, least of all as the server.
        Q_EMIT h.datagram->changedSMessage(3, {0, "Stats successfully uploaded."});
        Q_EMIT h.datagram->changedSMessage(0, {1, "no partner here"});
        QCOMPARE(h.datagram->count("sendSMessage"), 1);
        Q_EMIT h.datagram->changedSMessage(1, {0, QString(60000, 'c')});
        QCOMPARE(h.datagram->last("sendSMessage").value(2), QString(100, 'c'));
        h.join(0, "a\tb" + QString(5000, 'n'));
        QCOMPARE(h.lastNames().value(0), "a_b" + QString(9, 'n'));

        Q_EMIT h.stream->changedSPlayerKick(0, 1);
        QCOMPARE(h.both("sendSKick"), QVariantList({true, 1}));
        QCOMPARE(h.both("disconnectClient"), QVariantList({1, false}));
        QCOMPARE(h.lastStatuses(), ints({Waiting, Empty, Empty, Waiting}));

        // -1 would make the connections drop every client.
        Q_EMIT h.stream->changedSPlayerKick(0, -1);
        QCOMPARE(h.stream->count("sendSKick"), 1);
        QCOMPARE(h.stream->count("disconnectClient"), 1);

        // Without a client id only the shared datagram socket failing
        // concerns the players: it empties every slot.
        Q_EMIT h.stream->errorOccured(-1, ConnectionInterface::HostNotFound);
        QCOMPARE(h.stream->count("disconnectClient"), 1);
        Q_EMIT h.datagram->errorOccured(-1, ConnectionInterface::ConnectionLost);
        QCOMPARE(h.lastStatuses(), ints({Empty, Empty, Empty, Empty}));
        QCOMPARE(h.stream->count("disconnectClient"), 5);
    }

    // The code comes from the master server and proves the game to joiners by code. An
    // answer with another token is not taken (a forgery); when answers stay away the
    // game asks afresh (the master server forgot it).
    void inviteCodeFromTheMasterServer() {
        using PayloadCodec::Reach;
        HarnessOptions o;
        o.settings.port = 31000;
        o.masterServer.address = QHostAddress(QHostAddress::LocalHost);
        o.timings.masterRetryMs = 5;
        o.timings.masterKeepAliveMs = 5;
        ServerHarness h(o);
        const QVariantList fresh{31000, true, QString(), QString(), QString()};
        QTRY_VERIFY(h.master->count("sendRegistration") > 0);
        QCOMPARE(h.master->callsOf("sendRegistration").front(), fresh);
        const QString token = "0123456789abcdef";
        Q_EMIT h.master->changedCRegistration(
            -1, {"ABCD2345", token, "10.0.0.1", 31000, Reach::Yes, Reach::Yes});
        Q_EMIT h.master->changedCRegistration(
            -1, {"WXYZ6789", "fedcba9876543210", "10.0.0.1", 31000, Reach::Yes, Reach::Yes});
        QCOMPARE(h.datagram->callsOf("setInviteCode"), (QList<QVariantList>{{"ABCD2345"}}));
        QTRY_VERIFY(h.master->callsOf("sendRegistration")
                        .contains(QVariantList{31000, true, token, QString(), QString()}));
        QTRY_COMPARE(h.master->last("sendRegistration"), fresh);
    }

    // Only a public server with a master server is announced.
    void masterServerHeartbeat() {
        HarnessOptions o;
        o.settings.port = 31000;
        o.masterServer.port = 27999;
        for (bool singleplayer : {false, true}) {
            for (bool address : {false, true}) {
                o.settings.singleplayer = singleplayer;
                o.masterServer.address =
                    QHostAddress(address ? QHostAddress::LocalHost : QHostAddress::Null);
                ServerHarness h(o);
                h.server->sendHeartbeat();
                Q_EMIT h.master->errorOccured(0, ConnectionInterface::Timeout);
                h.server->sendHeartbeat();
                h.server.reset();

                const QStringList expected = {
                    "master:connectToHost",
                    "master:SON 31000",
                    "master:SON 31000",              // still registered: no new connection
                    "master:disconnectClient -1 1",  // after the error, afresh
                    "master:connectToHost",
                    "master:SON 31000",
                    "master:SOF 31000",
                    "master:disconnectClient -1 1",
                };
                QCOMPARE(h.journal.filter("master:"),
                         address && !singleplayer ? expected : QStringList());
            }
        }

        // Asking the router holds the first announcement back; the port it gives
        // is announced, and a new one replaces the old in the list.
        o.settings.singleplayer = false;
        o.settings.publicPort = 0;
        ServerHarness h(o);
        h.server->sendHeartbeat();
        QCOMPARE(h.journal.filter("master:"), QStringList());
        h.server->setPublicPort(40000);
        h.server->setPublicPort(40000);
        h.server->sendHeartbeat();
        h.server->setPublicPort(40001);
        h.server.reset();
        QCOMPARE(h.journal.filter("master:"),
                 QStringList({"master:connectToHost", "master:SON 40000", "master:SON 40000",
                              "master:SOF 40000", "master:SON 40001", "master:SOF 40001",
                              "master:disconnectClient -1 1"}));
    }

    // An event raised inside a send waits for the handler. The host's own
    // client leaving ends a hosted server: everybody is told who ended it.
    void hostLeavingDeletesTheServerAndHostKeys() {
        HarnessOptions o;
        o.settings.hostKey = 7;
        ServerHarness h(o);
        h.joinAll({"Host", "Guest"});
        bool raised = false;
        h.onJournal = [&h, &raised](const QString& line) {
            if (!raised && line == QLatin1String("stream:disconnectClient 1 0")) {
                raised = true;
                Q_EMIT h.stream->changedSPlayers(2, {{"Late", QString()}, {-1, -1}, {Waiting, -1}});
            }
        };
        Q_EMIT h.stream->changedSPlayerKick(0, 1);
        QCOMPARE(h.sim().findPlayer(1, 0), -1);
        QCOMPARE(h.sim().findPlayer(2, 0), -1);  // not inside the kick
        QTRY_COMPARE(h.sim().findPlayer(2, 0), 1);

        QPointer<Server> server = h.server.release();
        Q_EMIT h.stream->changedSPlayerDisconnect(2);
        QCOMPARE(h.stream->count("shutDown"), 0);
        Q_EMIT h.stream->changedSPlayerDisconnect(0);
        QCOMPARE(h.stream->last("shutDown"), QVariantList({0}));
        QVERIFY(server);
        QTRY_VERIFY(!server);

        // The keys drawn for hosts are never negative, and they vary.
        QSet<int> keys;
        for (int i = 0; i < 16; ++i) {
            keys.insert(drawHostKey());
        }
        QVERIFY(keys.size() > 1 && *std::min_element(keys.begin(), keys.end()) >= 0);
    }
};

QTEST_GUILESS_MAIN(TestServer)
#include "test_server.moc"
