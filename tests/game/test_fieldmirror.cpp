// A player's copy of the field, fed the way the network feeds it: it must
// show what the server's own field holds, clearing rows by itself.
#include <QTest>
#include <memory>

#include "apps/fieldsim/fieldrun.h"
#include "game/fieldmirror.h"

namespace {

// Passes a running game's events to a mirror as the client receives them:
// fresh blocks and movement records, never the simulation's own objects.
class WireFeed : public GameEvents {
public:
    explicit WireFeed(FieldMirror& mirror) : mirror_(mirror) {}
    int fieldsizeX = 0;

    void newBlock(const GameBlock& b) override {
        mirror_.addBlock(std::make_unique<GameBlock>(b.id(), b.colour(), b.kind(), b.x(), b.y(),
                                                     b.rotation(), fieldsizeX));
    }
    void blocksMoved(const QList<GameBlock*>& blocks, const QList<int>& activeIds) override {
        const QList<GameMovement*> m = movements(blocks);
        QVERIFY(!mirror_.moveBlocks(m, activeIds));
        qDeleteAll(m);
    }
    void blocksMerged(const QList<GameBlock*>& blocks) override {
        const QList<GameMovement*> m = movements(blocks);
        mirror_.mergeBlocks(m);
        qDeleteAll(m);
    }
    void gameOver(int, int, const QString&) override {}

private:
    static QList<GameMovement*> movements(const QList<GameBlock*>& blocks) {
        QList<GameMovement*> m;
        for (const GameBlock* b : blocks) {
            m.append(new GameMovement(b->id(), b->x(), b->y(), b->rotation()));
        }
        return m;
    }
    FieldMirror& mirror_;
};

std::unique_ptr<GameBlock> single(int id, int column, int row, int fieldsizeX = 12) {
    auto b = std::make_unique<GameBlock>(id, column * 50, row * 50, fieldsizeX);
    b->addBox(GameBox(1, {0, 0, 0, 0}, {0, 0, 0, 0}, fieldsizeX));
    return b;
}

// A field block holding full rows 0 to rows - 1 except one gap in column gap.
std::unique_ptr<GameBlock> stack(int rows, int gap, int fieldsizeX = 12) {
    auto field = std::make_unique<GameBlock>(0, 0, 0, fieldsizeX);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < fieldsizeX; ++c) {
            if (c != gap) {
                field->addBox(GameBox(2, {c * 50, c * 50, c * 50, c * 50},
                                      {r * 50, r * 50, r * 50, r * 50}, fieldsizeX));
            }
        }
    }
    return field;
}

QList<GameMovement*> oneMove(int id, int column, int row) {
    return {new GameMovement(id, column * 50, row * 50, 0)};
}

}  // namespace

class TestFieldMirror : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Whole games of simple players, some crowded so that blocks meet: after
    // every tick each cell holds in the copy what it holds on the server,
    // landed boxes and falling blocks alike, and the copy counted every row.
    void followsTheServersField_data() {
        QTest::addColumn<int>("columns");
        QTest::addColumn<bool>("crowded");
        QTest::addColumn<int>("seed");
        QTest::newRow("2 players") << 24 << false << 3;
        QTest::newRow("4 players") << 48 << false << 1;
        QTest::newRow("3 crowded") << 36 << true << 2;
        QTest::newRow("4 crowded") << 48 << true << 4;
    }
    void followsTheServersField() {
        QFETCH(int, columns);
        QFETCH(bool, crowded);
        QFETCH(int, seed);
        FieldMirror mirror;
        WireFeed feed(mirror);
        feed.fieldsizeX = columns;
        FieldRun run(columns, static_cast<std::uint32_t>(seed), crowded, &feed);
        const GameSimulation& sim = run.simulation();
        int ticks = 0;
        for (; ticks < 6000 && !run.over(); ++ticks) {
            run.step();
            if (run.over()) {
                break;
            }
            QCOMPARE(mirror.activeBlockIds(), sim.activeBlockIds());
            for (int r = 0; r < GameField::kRows; ++r) {
                for (int c = 0; c < columns; ++c) {
                    if (mirror.cell(c, r) != sim.field().cell(c, r)) {
                        QFAIL(qPrintable(QStringLiteral("tick %1 cell %2,%3: copy %4, server %5")
                                             .arg(ticks)
                                             .arg(c)
                                             .arg(r)
                                             .arg(mirror.cell(c, r))
                                             .arg(sim.field().cell(c, r))));
                    }
                }
            }
        }
        QCOMPARE(mirror.lines(), sim.lines());
        // Crowded players reach the top; the others clear rows.
        QVERIFY(crowded ? run.over() : sim.lines() > 0);
    }

    // A late joiner's field block brings the stack; a merge that fills rows
    // clears them (10 + 20 points) and lowers what falls above them.
    void lateJoinerStackAndRowClearing() {
        FieldMirror mirror;
        mirror.addBlock(stack(2, 5));
        QVERIFY(mirror.hasField());
        QVERIFY(mirror.landed(0, 0) && mirror.landed(11, 1) && !mirror.landed(5, 0));

        mirror.addBlock(single(7, 5, 1));
        mirror.addBlock(single(8, 5, 0));
        mirror.addBlock(single(9, 3, 10));  // falling above the rows
        mirror.addBlock(std::make_unique<GameBlock>(11, 0, 0, -500, -500, 0, 12));  // parked
        QCOMPARE(mirror.cell(5, 1), 7);
        QCOMPARE(mirror.cell(3, 10), 9);

        QList<GameMovement*> both = oneMove(7, 5, 1) + oneMove(8, 5, 0);
        const GameField::LineClear clear = mirror.mergeBlocks(both);
        qDeleteAll(both);
        QCOMPARE(clear.rows, 2);
        QCOMPARE(clear.points, 30);
        QCOMPARE(mirror.lines(), 2);
        QVERIFY(!mirror.landed(0, 0) && !mirror.landed(0, 1));
        QCOMPARE(mirror.block(9)->y(), 400);  // lowered with the rows below it
        QCOMPARE(mirror.cell(3, 8), 9);
        QCOMPARE(mirror.block(11)->y(), -500);
        QVERIFY(!mirror.block(7) && !mirror.block(8));
    }

    // A movement for an unknown block drops the rest of its batch; the
    // eleventh miss of one id asks for a resend; a merge of it forgets them.
    void missingBlocksMeanLoss() {
        FieldMirror mirror;
        mirror.addBlock(stack(0, -1));
        mirror.addBlock(single(4, 0, 20));
        // A coming block at its park position shows nowhere on the field.
        mirror.addBlock(std::make_unique<GameBlock>(11, 0, 0, -500, -500, 0, 12));
        for (int c = 0; c < 12; ++c) {
            QCOMPARE(mirror.cell(c, 0), GameField::kNoBlock);
        }
        for (int i = 1; i <= FieldMirror::kMissesBeforeLoss + 1; ++i) {
            QList<GameMovement*> batch = oneMove(6, 1, 20) + oneMove(4, 2, 19);
            const bool loss = mirror.moveBlocks(batch, {4, -1});
            qDeleteAll(batch);
            QCOMPARE(loss, i > FieldMirror::kMissesBeforeLoss);
        }
        QCOMPARE(mirror.block(4)->x(), 0);  // never moved behind the miss
        QList<GameMovement*> merge = oneMove(6, 1, 0);
        mirror.mergeBlocks(merge);
        qDeleteAll(merge);
        QList<GameMovement*> again = oneMove(6, 1, 20);
        QVERIFY(!mirror.moveBlocks(again, {}));
        qDeleteAll(again);

        // A new field block starts over: blocks of the last game are gone, and
        // a width no field can have leaves no field at all.
        mirror.addBlock(stack(0, -1, 24));
        QCOMPARE(mirror.fieldsizeX(), 24);
        QCOMPARE(mirror.blockCount(), std::size_t(0));
        mirror.addBlock(std::make_unique<GameBlock>(0, 0, 0, 13));
        mirror.addBlock(single(5, 0, 0, 13));
        QVERIFY(!mirror.hasField() && !mirror.landed(0, 0));
        QCOMPARE(mirror.cell(0, 0), GameField::kNoBlock);
        QList<GameMovement*> land = oneMove(5, 0, 0);
        QCOMPARE(mirror.mergeBlocks(land).rows, 0);
        qDeleteAll(land);
    }
};

QTEST_GUILESS_MAIN(TestFieldMirror)
#include "test_fieldmirror.moc"
