// What the client makes of the server's game traffic: the player table and its
// chat lines, a late joiner's game state, blocks and movements handed on (and
// freed when nobody takes them), ping lists and server notices.
#include <QPointer>
#include <QTest>

#include "clientharness.h"
#include "network/fieldimage.h"

class TestClientEvents : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void playerTableJoinAndLeaveLines() {
        ClientHarness h;
        h.joinAndEstablish("10.0.0.5", 1);
        h.clearLog();
        // The first list after connecting announces nobody.
        h.playerList({{0, "Ann", 2}, {1, "Player1", 2}});
        QCOMPARE(h.events.first(), QStringLiteral("players 0,1,-1,-1 Ann,Player1,, -1,-1,-1,-1 2,2,0,0"));
        QVERIFY(h.eventsOf("chat").isEmpty());

        // A splitscreen pair arrives as two entries of one connection; our own
        // connection is never announced.
        h.clearLog();
        h.playerList({{0, "Ann", 2}, {1, "Player1", 2}, {2, "Cid", 2}, {2, "Dora", 2}});
        QCOMPARE(h.eventsOf("chat"), (QStringList{"chat -3 Cid has joined the game.",
                                                  "chat -3 Dora has joined the game."}));

        // A third entry for one connection has no slot and is ignored; so are
        // ids outside the table.
        h.clearLog();
        h.playerList(
            {{0, "Ann", 2}, {1, "Player1", 2}, {2, "Cid", 2}, {2, "Dora", 2}, {2, "Eve", 2}});
        h.playerList({{0, "Ann", 2},
                      {1, "Player1", 2},
                      {2, "Cid", 2},
                      {2, "Dora", 2},
                      {7, "Fay", 2},
                      {-5, "Gus", 2}});
        QVERIFY(h.eventsOf("chat").isEmpty());

        h.clearLog();
        Q_EMIT h.tcp->changedCPlayerDisconnect(2);
        QCOMPARE(h.events, (QStringList{"remove 2", "chat -4 Cid has left the game.",
                                        "chat -4 Dora has left the game."}));
        h.clearLog();
        Q_EMIT h.tcp->changedCPlayerDisconnect(2);  // names already gone
        Q_EMIT h.tcp->changedCPlayerDisconnect(9);  // no such row
        QCOMPARE(h.events, QStringList{"remove 2"});

        // Someone who left and comes back is announced again.
        h.clearLog();
        h.playerList({{0, "Ann", 2}, {1, "Player1", 2}, {2, "Cid", 2}});
        QCOMPARE(h.eventsOf("chat"), QStringList{"chat -3 Cid has joined the game."});
    }

    void ownStatusFollowsTheListOnlyFromTheLobby() {
        ClientHarness h;
        h.joinAndEstablish("10.0.0.5", 1);
        h.client->setReady();
        h.playerList({{0, "Ann", 4}, {1, "Player1", 4}});
        QCOMPARE(h.client->state(), int(GamePlayer::Playing));
        // Once playing, a list cannot move the status (only the game events do).
        h.playerList({{0, "Ann", 4}, {1, "Player1", 2}});
        QCOMPARE(h.client->state(), int(GamePlayer::Playing));
    }

    void lateJoinerBuildsTheFieldFromTheImage() {
        ClientHarness h;
        h.joinAndEstablish("10.0.0.5", 1);
        QByteArray field(24 * 25 / 2, '\x77');
        field[0] = '\x71';    // column 1, row 0: colour 0
        field[13] = '\x37';   // column 2, row 1: colour 2
        field[299] = '\x16';  // columns 22 and 23 of row 24: colours 0 and 5
        QList<GameBlock*> blocks{new GameBlock(5, 1, 2, 100, 1000, 1, 24),
                                 new GameBlock(6, 2, 3, 300, 1100, 0, 24)};
        h.clearLog();
        Q_EMIT h.udp->changedCGameState(24, false, 340, "00:02:10", field, blocks);
        QCOMPARE(h.events,
                 (QStringList{"fieldsize 24", "resetGui F 4 F F T 1",
                              "base 20 Waiting for other game to finish...", "playtime start",
                              "rotation T", "score 340 T", "playtime text 00:02:10 T", "block 0",
                              "block 5", "block 6"}));
        QCOMPARE(h.blocks.size(), std::size_t(3));
        const GameBlock& f = *h.blocks.front();
        QCOMPARE(f.id(), 0);
        QCOMPARE(f.fieldsizeX(), 24);
        QCOMPARE(f.boxes().size(), std::size_t(4));
        const std::vector<std::array<int, 3>> expected{
            {50, 0, 0}, {100, 50, 2}, {1100, 1200, 0}, {1150, 1200, 5}};
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const GameBox& box = f.boxes()[i];
            for (int rotation = 0; rotation < 4; ++rotation) {
                QCOMPARE(box.x(rotation), expected[i][0]);
                QCOMPARE(box.y(rotation), expected[i][1]);
            }
            QCOMPARE(box.colour(), expected[i][2]);
        }
        // The image the server would build from these boxes is the one we got.
        QCOMPARE(FieldImage::pack(f, 24), field);
        QCOMPARE(h.blocks[1]->kind(), 2);
        QCOMPARE(h.blocks[2]->x(), 300);
        QCOMPARE(h.client->state(), int(GamePlayer::Waiting));
    }

    void pausedGameStateShowsThePause() {
        ClientHarness h;
        h.joinAndEstablish("10.0.0.5", 1);
        h.clearLog();
        Q_EMIT h.udp->changedCGameState(12, true, 0, "00:00:10", QByteArray(150, '\x77'), {});
        QCOMPARE(h.events.mid(h.events.size() - 2),
                 (QStringList{"base 20 Game paused...", "playtime pause T"}));
        QCOMPARE(h.blocks.size(), std::size_t(1));
        QVERIFY(h.blocks.front()->boxes().empty());
        QCOMPARE(h.client->state(), int(GamePlayer::Waiting));
    }

    void blocksAndMovementsPassUnchanged() {
        ClientHarness h;
        h.hostSingle();
        Q_EMIT h.udp->changedCGameStart(0, 36, 3);
        Q_EMIT h.udp->changedCNewBlock(7, 2, 4, 150, 1250, 3);
        QCOMPARE(h.blocks.size(), std::size_t(1));
        const GameBlock& b = *h.blocks.front();
        QCOMPARE(
            (QList<int>{b.id(), b.colour(), b.kind(), b.x(), b.y(), b.rotation(), b.fieldsizeX()}),
            (QList<int>{7, 2, 4, 150, 1250, 3, 36}));

        auto* m1 = new GameMovement(7, 200, 1200, 0);
        Q_EMIT h.udp->changedCMoveBlocks({m1}, {7, 8});
        Q_EMIT h.udp->changedCMergeBlocks({new GameMovement(7, 200, 0, 0)});
        QCOMPARE(h.eventsOf("move"), QStringList{"move 1 7,8"});
        QCOMPARE(h.eventsOf("merge"), QStringList{"merge 1"});
        QCOMPARE(h.movements.front().get(), m1);

        Q_EMIT h.udp->changedCPinglist({0, 2}, {15, 999});
        QCOMPARE(h.eventsOf("pings"), QStringList{"pings 0,2 15,999"});
    }

    void objectsNobodyTakesAreFreed() {
        ClientHarness h(QString(), QString(), false);  // no GUI listening
        QPointer<GameMovement> moved = new GameMovement(1, 0, 0, 0);
        QPointer<GameMovement> merged = new GameMovement(1, 0, 0, 0);
        QPointer<GameBlock> block = new GameBlock(3, 1, 1, 0, 0, 0, 12);
        QPointer<ServerData> server =
            new ServerData("Beta 0.92", "10.0.0.7", "x", 1, false, false, 0, 4, 1, QString());
        Q_EMIT h.udp->changedCMoveBlocks({moved}, {1, 2});
        Q_EMIT h.udp->changedCMergeBlocks({merged});
        Q_EMIT h.udp->changedCGameState(12, false, 0, "00:00:00", QByteArray(150, '\x11'), {block});
        Q_EMIT h.master->changedCNewServer(-1, server);
        Q_EMIT h.udp->changedCNewBlock(1, 1, 1, 0, 0, 0);
        QVERIFY(moved.isNull());
        QVERIFY(merged.isNull());
        QVERIFY(block.isNull());
        QVERIFY(server.isNull());
    }

    void serverNotices() {
        ClientHarness h;
        Q_EMIT h.udp->changedCMessage(-1, "ignored");
        Q_EMIT h.udp->changedCMessage(-2, "ignored");
        Q_EMIT h.udp->changedCMessage(2, "hi  there");
        QCOMPARE(h.events,
                 (QStringList{"chat -1 Stats successfully uploaded.",
                              "chat -2 The stats could not be sended.", "chat 2 hi  there"}));
    }
};

QTEST_GUILESS_MAIN(TestClientEvents)
#include "test_clientevents.moc"
