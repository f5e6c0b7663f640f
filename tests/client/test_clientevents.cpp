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
        h.playerList({{0, "Ann", 2}, {1, "Player1", 2}});  // the first list announces nobody
        // A splitscreen pair is two entries of one connection; a third entry has
        // no slot, ids outside the table are ignored, our own id is never announced.
        h.playerList({{0, "Ann", 2},
                      {1, "Player1", 2},
                      {2, "Cid", 2},
                      {2, "Dora", 2},
                      {2, "Eve", 2},
                      {7, "Fay", 2},
                      {-5, "Gus", 2}});
        h.playerList({{0, "Ann", 2}, {1, "Player1", 2}, {2, "Cid", 2}, {2, "Dora", 2}});
        QCOMPARE(h.events.first(), "players 0,1,-1,-1 Ann,Player1,, -1,-1,-1,-1 2,2,0,0");
        QCOMPARE(h.eventsOf("chat"), (QStringList{"chat -3 Cid has joined the game.",
                                                  "chat -3 Dora has joined the game."}));
        h.clearLog();
        Q_EMIT h.tcp->changedCPlayerDisconnect(2);
        Q_EMIT h.tcp->changedCPlayerDisconnect(2);                        // names already gone
        Q_EMIT h.tcp->changedCPlayerDisconnect(9);                        // no such row
        h.playerList({{0, "Ann", 2}, {1, "Player1", 2}, {2, "Cid", 2}});  // back again
        QCOMPARE(h.events.mid(0, 4), (QStringList{"remove 2", "chat -4 Cid has left the game.",
                                                  "chat -4 Dora has left the game.", "remove 2"}));
        QCOMPARE(h.eventsOf("chat").last(), "chat -3 Cid has joined the game.");

        // Once playing, a list cannot move the own status (only game events do).
        h.client->setReady();
        h.playerList({{0, "Ann", 4}, {1, "Player1", 4}});
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
        h.clearLog();
        Q_EMIT h.udp->changedCGameState(
            24, true, 340, "00:02:10", field,
            {new GameBlock(5, 1, 2, 100, 1000, 1, 24), new GameBlock(6, 2, 3, 300, 1100, 0, 24)});
        QCOMPARE(h.events,
                 (QStringList{"fieldsize 24", "resetGui F 4 F F T 1",
                              "base 20 Waiting for other game to finish...", "playtime start",
                              "rotation T", "score 340 T", "playtime text 00:02:10 T", "block 0",
                              "block 5", "block 6", "base 20 Game paused...", "playtime pause T"}));
        QCOMPARE(h.client->state(), int(GamePlayer::Waiting));
        const GameBlock& f = *h.blocks.front();
        QCOMPARE(f.fieldsizeX(), 24);
        const std::vector<std::array<int, 3>> expected{
            {50, 0, 0}, {100, 50, 2}, {1100, 1200, 0}, {1150, 1200, 5}};
        QCOMPARE(f.boxes().size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const GameBox& box = f.boxes()[i];
            QCOMPARE((std::array<int, 3>{box.x(3), box.y(3), box.colour()}), expected[i]);
            QVERIFY(box.x(0) == box.x(3) && box.y(1) == box.y(3));
        }
        QCOMPARE(FieldImage::pack(f, 24), field);  // the image these boxes make
    }

    void blocksMovementsAndPingsPassUnchanged() {
        ClientHarness h;
        h.hostSingle();
        Q_EMIT h.udp->changedCGameStart(0, 36, 3);
        Q_EMIT h.udp->changedCNewBlock(7, 2, 4, 150, 1250, 3);
        const GameBlock& b = *h.blocks.front();
        QCOMPARE(
            (QList<int>{b.id(), b.colour(), b.kind(), b.x(), b.y(), b.rotation(), b.fieldsizeX()}),
            (QList<int>{7, 2, 4, 150, 1250, 3, 36}));
        auto* moved = new GameMovement(7, 200, 1200, 0);
        Q_EMIT h.udp->changedCMoveBlocks({moved}, {7, 8});
        Q_EMIT h.udp->changedCMergeBlocks({new GameMovement(7, 200, 0, 0)});
        Q_EMIT h.udp->changedCPinglist({0, 2}, {15, 999});
        Q_EMIT h.udp->changedCMessage(-1, "ignored");
        Q_EMIT h.udp->changedCMessage(-2, "ignored");
        Q_EMIT h.udp->changedCMessage(2, "hi  there");
        QCOMPARE(h.events.mid(h.events.size() - 6),
                 (QStringList{"move 1 7,8", "merge 1", "pings 0,2 15,999",
                              "chat -1 Stats successfully uploaded.",
                              "chat -2 The stats could not be sended.", "chat 2 hi  there"}));
        QCOMPARE(h.movements.front().get(), moved);
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
        Q_EMIT h.udp->changedCGameState(12, false, 0, "0", QByteArray(150, '\x11'), {block});
        Q_EMIT h.master->changedCNewServer(-1, server);
        Q_EMIT h.udp->changedCNewBlock(1, 1, 1, 0, 0, 0);  // ASan sees this one
        QVERIFY(moved.isNull() && merged.isNull() && block.isNull() && server.isNull());
    }
};

QTEST_GUILESS_MAIN(TestClientEvents)
#include "test_clientevents.moc"
