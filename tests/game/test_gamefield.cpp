// The shared field: moves, contact, landing, merging and row removal.
#include <QTest>
#include <memory>

#include "game/gamefield.h"
#include "tests/game/fieldsetup.h"

using namespace fieldsetup;

namespace {

constexpr int kO = 0;  // boxes in columns 1..2, rows 1..2 of the frame

// A block entering the grid: a move to where it stands.
std::unique_ptr<GameBlock> placed(GameField& field, int id, int kind, int x, int y, int rotation,
                                  int slot) {
    auto b = std::make_unique<GameBlock>(id, slot, kind, x, y, rotation, field.fieldsizeX());
    return field.moveBlock(*b, x, y, rotation, slot) ? nullptr : std::move(b);
}

}  // namespace

class TestGameField : public QObject {
    Q_OBJECT
    GameField field;

private Q_SLOTS:
    void init() { QVERIFY(field.reset(12)); }

    // The moved flag, which sends a movement, waits until a box enters another row or column.
    void fallsWithinACellMoveNothing() {
        auto b = placed(field, 6, kO, 0, 640, 0, 1);  // rows 13, 14
        QVERIFY(b);
        field.clearFlags();
        QVERIFY(!field.moveBlock(*b, 0, 600, 0, 1));
        QVERIFY(b->y() == 600 && !field.moved(1));
        QVERIFY(!field.moveBlock(*b, 0, 599, 0, 1));
        QVERIFY(field.moved(1));
        field.clearFlags();
        QVERIFY(!field.moveBlock(*b, -100, 599, 0, 1));  // a step across the seam
        QVERIFY(field.moved(1) && field.cell(11, 12) == 6 && field.cell(0, 12) == 6);
    }

    // Catches blocks lowered by removed rows below them only, or rows above the field removed.
    void fallingBlocksFollowRemovedRows() {
        fillRow(field, 3);
        for (int row : {4, 5, 6}) {
            fillRow(field, row, {1});
        }
        fillRow(field, 25);
        GameBlock single(22, 0, 0, 12);  // one falling box in the gap, column 1 row 4
        single.addBox(GameBox(1, {50, 50, 50, 50}, {200, 200, 200, 200}, 12));
        QVERIFY(!field.moveBlock(single, 0, 0, 0, 1));
        QCOMPARE(field.cell(1, 4), 22);
        auto above = placed(field, 23, kO, 250, 600, 0, 2);  // columns 6, 7, rows 13, 14
        auto below = placed(field, 24, kO, 300, -50, 0, 0);  // columns 7, 8, rows 0, 1
        QVERIFY(above && below);
        landBox(field, 1, 6);  // completes row 6 over the gap

        QList<int> lowered;
        std::array<GameBlock*, 4> falling{&single, above.get(), below.get(), nullptr};
        const GameField::LineClear clear =
            field.removeFullLines(falling, [&](GameBlock& b) { lowered.append(b.id()); });
        QCOMPARE((QList<int>{clear.rows, clear.points, clear.lowestRow}), (QList<int>{2, 30, 3}));
        QCOMPARE(lowered, QList<int>({23, 22, 23}));  // row 6 first, then row 3
        QCOMPARE((QList<int>{single.y(), above->y(), below->y()}), (QList<int>{-50, 500, -50}));
        QCOMPARE(cells(field, {{1, 3}, {6, 11}, {6, 13}, {7, 0}}), (QList<int>{22, 23, -1, 24}));
        QVERIFY(field.occupies(single) && field.occupies(*above) && field.occupies(*below));
        QCOMPARE((QList<int>{field.rowCount(3), field.rowCount(5), field.rowCount(23)}),
                 (QList<int>{11, 0, 12}));
        QCOMPARE(field.stackHeight(), 24);
    }

    // A block that could not enter takes only the cells nobody holds.
    void onlyFreeCellsAreClaimed() {
        auto a = placed(field, 5, kO, 0, 500, 0, 0);
        QVERIFY(a);
        GameBlock ghost(6, 1, kO, 0, 500, 0, 12);  // stands on a, never entered
        field.claimFreeCells(ghost);
        QCOMPARE(field.cell(1, 11), 5);
        field.releaseCells(*a);
        field.claimFreeCells(ghost);
        QVERIFY(field.occupies(ghost));
    }

    // Nothing a caller passes may index outside the grid or overflow.
    void badInputIsRefusedSafely() {
        QVERIFY(field.reset(36));
        for (int width : {0, 60, 13, -12, 49}) {
            QVERIFY(!field.reset(width));
        }
        QCOMPARE(field.fieldsizeX(), 36);  // kept by a refused reset

        GameBlock b(5, 0, kO, 0, 500, 0, 36);
        QVERIFY(!field.moveBlock(b, 0, 500, 0, -1) && !field.moveBlock(b, 0, 500, 0, 4));  // slots
        QVERIFY(!field.occupies(b));
        QVERIFY(!field.moveBlock(b, INT_MAX, 500, 0, 0));
        QVERIFY(!field.moveBlock(b, INT_MIN, 500, 7, 0));
        QVERIFY(field.occupies(b));
        // Above the top row there is no room: the move is refused, not stored.
        const int y = b.y();
        QVERIFY(!field.moveBlock(b, 0, 5000, 0, 0));
        QVERIFY(!field.moveBlock(b, 0, INT_MAX - 10, 0, 0));
        QCOMPARE(b.y(), y);
        // Far below the floor is a fall onto it.
        QVERIFY(field.moveBlock(b, 0, INT_MIN, 0, 0));
        QVERIFY(field.landed(0));

        GameBlock shapeless(7, 0, 0, 36);
        QVERIFY(!field.moveBlock(shapeless, 100, 100, 2, 1));
        QCOMPARE(cells(field, {{-1, 0}, {36, 0}, {0, 41}}), (QList<int>{-1, -1, -1}));
        QVERIFY(field.rowCount(-1) == 0 && field.rowCount(41) == 0);
        QVERIFY(!field.moved(-1) && !field.landed(9));
        field.clearFieldBlock();
        GameBlock c(8, 0, kO, 600, 0, 0, 36);
        QVERIFY(field.moveBlock(c, 600, -101, 0, 1));  // lands without a field block to copy into
        QCOMPARE(field.removeFullLines({}).rows, 0);
    }
};

QTEST_GUILESS_MAIN(TestGameField)
#include "test_gamefield.moc"
