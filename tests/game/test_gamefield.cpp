// The shared field: moves, contact, landing, merging and row removal.
#include <QTest>
#include <memory>

#include "game/gamefield.h"
#include "game/gamegrid.h"

namespace {

constexpr int kI = 6;  // rotation 0: four boxes in row 2 of the frame, columns 0..3
constexpr int kO = 0;  // boxes in columns 1..2, rows 1..2 of the frame

// A fall that would pass the floor lands a block where it stands: a quick way
// to build a stack anywhere.
void landWhereItStands(GameField& field, GameBlock& b) {
    QVERIFY(field.moveBlock(b, b.x(), -100000, b.rotation(), 3));
    QVERIFY(field.landed(3));
    field.clearFlags();
}

void fillRow(GameField& field, int row, int skipColumn = -1) {
    for (int c = 0; c < field.fieldsizeX(); ++c) {
        if (c == skipColumn) {
            continue;
        }
        GameBlock one(99, 0, 0, field.fieldsizeX());
        one.addBox(GameBox(2, {c * 50, c * 50, c * 50, c * 50},
                           {row * 50, row * 50, row * 50, row * 50}, field.fieldsizeX()));
        landWhereItStands(field, one);
    }
}

std::unique_ptr<GameBlock> placed(GameField& field, int id, int kind, int x, int y, int rotation,
                                  int slot) {
    auto b = std::make_unique<GameBlock>(id, slot, kind, x, y, rotation, field.fieldsizeX());
    // Entering the grid: a move to where it stands.
    if (field.moveBlock(*b, x, y, rotation, slot)) {
        return nullptr;
    }
    return b;
}

}  // namespace

class TestGameField : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sideStepsWrapAroundTheRing() {
        GameField field;
        QVERIFY(field.reset(12));
        auto b = placed(field, 5, kI, 0, 500, 1, 0);  // vertical I, box column 1
        QVERIFY(b);
        QCOMPARE(field.cell(1, 10), 5);
        // Left twice: column 0, then the last column of the ring.
        QVERIFY(!field.moveBlock(*b, -50, 500, 1, 0));
        QVERIFY(!field.moveBlock(*b, -100, 500, 1, 0));
        QCOMPARE(field.cell(11, 10), 5);
        QCOMPARE(field.cell(0, 10), -1);
        QCOMPARE(field.cell(1, 10), -1);
        QVERIFY(field.moved(0));
        // And right across the seam again, with x far past the ring.
        QVERIFY(!field.moveBlock(*b, -100 + 50 + 600 * 5, 500, 1, 0));
        QCOMPARE(field.cell(0, 10), 5);
        QCOMPARE(field.cell(11, 10), -1);
        QVERIFY(field.occupies(*b));
    }

    void onlyAFallLands() {
        GameField field;
        QVERIFY(field.reset(12));
        GameBlock floorRow(9, 1, kI, 0, -100, 0, 12);  // row 0, columns 0..3
        landWhereItStands(field, floorRow);
        GameBlock wall(10, 1, kI, 100, 50, 1, 12);  // column 3, rows 1..4
        landWhereItStands(field, wall);
        GameBlock single(11, 0, 0, 12);  // column 8, row 2
        single.addBox(GameBox(1, {400, 400, 400, 400}, {100, 100, 100, 100}, 12));
        landWhereItStands(field, single);
        QCOMPARE(field.rowCount(0), 4);
        QCOMPARE(field.stackHeight(), 5);
        const std::size_t landedBoxes = field.fieldBlock()->boxes().size();

        // Side step into the wall: contact, but the block neither moves nor lands.
        auto o = placed(field, 5, kO, 0, 0, 0, 0);  // columns 1, 2, rows 1, 2
        QVERIFY(o);
        QVERIFY(field.moveBlock(*o, 50, 0, 0, 0));
        QVERIFY(!field.landed(0));
        QCOMPARE(o->x(), 0);
        QCOMPARE(field.cell(1, 1), 5);

        // Rotation into the stack: refused the same way.
        auto i = placed(field, 6, kI, 300, 0, 1, 1);  // column 7, rows 0..3
        QVERIFY(i);
        QVERIFY(field.moveBlock(*i, 300, 0, 2, 1));  // row 2, columns 6..9 meets column 8
        QVERIFY(!field.landed(1));
        QCOMPARE(i->rotation(), 1);

        // Rotation below the floor: refused, not landed.
        auto flat = placed(field, 7, kI, 450, -50, 0, 2);  // row 1, columns 9..11 and 0
        QVERIFY(flat);
        QCOMPARE(field.cell(0, 1), 7);
        QVERIFY(field.moveBlock(*flat, 450, -50, 1, 2));
        QVERIFY(!field.landed(2));
        QCOMPARE(field.fieldBlock()->boxes().size(), landedBoxes);

        // The same touch during a fall lands the block where it stands.
        QVERIFY(field.moveBlock(*o, 0, -1, 0, 0));
        QVERIFY(field.landed(0));
        QCOMPARE(o->y(), 0);
        QCOMPARE(field.cell(1, 1), GameField::kFieldBlockId);
        QCOMPARE(field.cell(2, 2), GameField::kFieldBlockId);
        QCOMPARE(field.rowCount(1), 3);
        QCOMPARE(field.fieldBlock()->boxes().size(), landedBoxes + 4);
    }

    void landingMergesAtTheCurrentPosition() {
        GameField field;
        QVERIFY(field.reset(24));
        GameBlock base(9, 1, kI, 0, -100, 0, 24);
        landWhereItStands(field, base);
        auto b = placed(field, 5, kO, 0, 250, 0, 2);  // boxes in rows 6, 7
        QVERIFY(b);
        // A fall of 300 units would pass into row 0: the block lands where it is.
        QVERIFY(field.moveBlock(*b, 0, -50, 0, 2));
        QVERIFY(field.landed(2));
        QCOMPARE(b->y(), 250);
        QCOMPARE(field.cell(1, 6), GameField::kFieldBlockId);
        QCOMPARE(field.cell(2, 7), GameField::kFieldBlockId);
        QCOMPARE(field.rowCount(6), 2);
        QCOMPARE(field.rowCount(7), 2);
        QCOMPARE(field.stackHeight(), 8);
        QCOMPARE(field.fieldBlock()->boxes().size(), std::size_t(8));
    }

    void anotherFallingBlockHoldsWithoutContact() {
        GameField field;
        QVERIFY(field.reset(12));
        auto lower = placed(field, 5, kO, 0, 300, 0, 0);  // columns 1, 2, rows 7, 8
        auto upper = placed(field, 6, kO, 0, 650, 0, 1);  // rows 14, 15
        QVERIFY(lower && upper);
        field.clearFlags();
        QVERIFY(!field.moveBlock(*upper, 0, 350, 0, 1));  // rows 8, 9: meets the lower block
        QCOMPARE(upper->y(), 650);
        QVERIFY(!field.landed(1));
        QVERIFY(!field.moved(1));
        QCOMPARE(field.cell(1, 8), 5);
        QCOMPARE(field.cell(1, 14), 6);

        // One unit below a cell boundary is already the next row down.
        QVERIFY(!field.moveBlock(*upper, 0, 640, 0, 1));
        QVERIFY(field.moved(1));
        QCOMPARE(field.cell(1, 15), -1);
        QCOMPARE(field.cell(1, 13), 6);
        // Falls inside the same cells change the position but not the grid.
        field.clearFlags();
        QVERIFY(!field.moveBlock(*upper, 0, 610, 0, 1));
        QVERIFY(!field.moveBlock(*upper, 0, 600, 0, 1));
        QCOMPARE(upper->y(), 600);
        QVERIFY(!field.moved(1));
        QVERIFY(!field.moveBlock(*upper, 0, 599, 0, 1));
        QVERIFY(field.moved(1));
        QCOMPARE(field.cell(1, 14), -1);
        QCOMPARE(field.cell(1, 12), 6);
    }

    void fullRowsScoreInOneTick_data() {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("points");
        QTest::newRow("one") << 1 << 10;
        QTest::newRow("two") << 2 << 30;
        QTest::newRow("three") << 3 << 50;
        QTest::newRow("four") << 4 << 70;
    }
    void fullRowsScoreInOneTick() {
        QFETCH(int, rows);
        QFETCH(int, points);
        GameField field;
        QVERIFY(field.reset(48));
        for (int r = 0; r < rows; ++r) {
            fillRow(field, 2 + r);
        }
        fillRow(field, 7, 5);  // an almost full row on top
        const GameField::LineClear clear = field.removeFullLines({});
        QCOMPARE(clear.rows, rows);
        QCOMPARE(clear.points, points);
        QCOMPARE(clear.lowestRow, 2);
        QCOMPARE(field.rowCount(7 - rows), 47);
        QCOMPARE(field.rowCount(7), 0);
        QCOMPARE(field.cell(5, 7 - rows), -1);
        QCOMPARE(field.cell(6, 7 - rows), GameField::kFieldBlockId);
        QCOMPARE(field.stackHeight(), 8 - rows);
        QCOMPARE(field.fieldBlock()->boxes().size(), std::size_t(47));
        for (const GameBox& b : field.fieldBlock()->boxes()) {
            QCOMPARE(b.y(0), (7 - rows) * 50);
        }
    }

    // Rows 3 and 6 full; a block in the gap between them is lowered only by the
    // lower removal, one above both twice, one below both not at all.
    void fallingBlocksFollowRemovedRows() {
        GameField field;
        QVERIFY(field.reset(12));
        fillRow(field, 3);
        fillRow(field, 4, 1);
        fillRow(field, 5, 1);
        fillRow(field, 6, 1);
        GameBlock single(22, 0, 0, 12);  // one falling box in the gap, column 1 row 4
        single.addBox(GameBox(1, {50, 50, 50, 50}, {200, 200, 200, 200}, 12));
        QVERIFY(!field.moveBlock(single, 0, 0, 0, 1));
        QCOMPARE(field.cell(1, 4), 22);
        auto above = placed(field, 23, kO, 250, 600, 0, 2);  // columns 6, 7, rows 13, 14
        auto below = placed(field, 24, kO, 300, -50, 0, 0);  // columns 7, 8, rows 0, 1
        QVERIFY(above && below);
        GameBlock closing(98, 0, 0, 12);  // completes row 6 over the gap
        closing.addBox(GameBox(2, {50, 50, 50, 50}, {300, 300, 300, 300}, 12));
        landWhereItStands(field, closing);

        QList<int> lowered;
        std::array<GameBlock*, 4> falling{&single, above.get(), below.get(), nullptr};
        const GameField::LineClear clear =
            field.removeFullLines(falling, [&](GameBlock& b) { lowered.append(b.id()); });
        QCOMPARE(clear.rows, 2);
        QCOMPARE(clear.points, 30);
        QCOMPARE(clear.lowestRow, 3);
        QCOMPARE(lowered, QList<int>({23, 22, 23}));  // row 6 first, then row 3
        QCOMPARE(single.y(), -50);
        QCOMPARE(above->y(), 500);
        QCOMPARE(below->y(), -50);  // under the overhang: stays
        QCOMPARE(field.cell(1, 3), 22);
        QCOMPARE(field.cell(6, 11), 23);
        QCOMPARE(field.cell(6, 13), -1);
        QCOMPARE(field.cell(7, 0), 24);
        QVERIFY(field.occupies(single) && field.occupies(*above) && field.occupies(*below));
        QCOMPARE(field.rowCount(3), 11);
        QCOMPARE(field.stackHeight(), 5);
    }

    void rowsAboveTheFieldAreNeverTested() {
        GameField field;
        QVERIFY(field.reset(12));
        fillRow(field, 25);
        fillRow(field, 30);
        QCOMPARE(field.stackHeight(), 31);
        const GameField::LineClear clear = field.removeFullLines({});
        QCOMPARE(clear.rows, 0);
        QCOMPARE(field.rowCount(25), 12);
        QCOMPARE(field.rowCount(30), 12);
    }

    void cellsAreReleasedOnlyByTheirHolder() {
        GameField field;
        QVERIFY(field.reset(12));
        auto a = placed(field, 5, kO, 0, 500, 0, 0);
        QVERIFY(a);
        GameBlock ghost(6, 1, kO, 0, 500, 0, 12);  // stands on a, never entered
        QVERIFY(!field.occupies(ghost));
        field.releaseCells(ghost);
        QCOMPARE(field.cell(1, 11), 5);
        field.claimFreeCells(ghost);
        QCOMPARE(field.cell(1, 11), 5);
        field.releaseCells(*a);
        QCOMPARE(field.cell(1, 11), -1);
        field.claimFreeCells(ghost);
        QVERIFY(field.occupies(ghost));
    }

    // Nothing a caller passes may index outside the grid or overflow.
    void badInputIsRefusedSafely() {
        GameField field;
        QVERIFY(!field.reset(0));
        QVERIFY(!field.reset(60));
        QVERIFY(!field.reset(13));
        QVERIFY(!field.reset(-12));
        QVERIFY(field.reset(36));
        QVERIFY(!field.reset(49));
        QCOMPARE(field.fieldsizeX(), 36);

        GameBlock b(5, 0, kO, 0, 500, 0, 36);
        QVERIFY(!field.moveBlock(b, 0, 500, 0, -1));
        QVERIFY(!field.moveBlock(b, 0, 500, 0, 4));
        QVERIFY(!field.occupies(b));
        QVERIFY(!field.moveBlock(b, INT_MAX, 500, 0, 0));
        QVERIFY(field.occupies(b));
        QVERIFY(!field.moveBlock(b, INT_MIN, 500, 7, 0));
        QVERIFY(field.occupies(b));
        // Above the top row there is no room: the move is refused, not stored.
        const int y = b.y();
        QVERIFY(!field.moveBlock(b, 0, 5000, 0, 0));
        QCOMPARE(b.y(), y);
        QVERIFY(!field.moveBlock(b, 0, INT_MAX - 10, 0, 0));
        QCOMPARE(b.y(), y);
        // Far below the floor is a fall onto it.
        QVERIFY(field.moveBlock(b, 0, INT_MIN, 0, 0));
        QVERIFY(field.landed(0));

        GameBlock shapeless(7, 0, 0, 36);
        QVERIFY(!field.moveBlock(shapeless, 100, 100, 2, 1));
        QCOMPARE(field.cell(-1, 0), -1);
        QCOMPARE(field.cell(36, 0), -1);
        QCOMPARE(field.cell(0, 41), -1);
        QCOMPARE(field.rowCount(-1), 0);
        QCOMPARE(field.rowCount(41), 0);
        QVERIFY(!field.moved(-1) && !field.landed(9));
        field.clearFieldBlock();
        GameBlock c(8, 0, kO, 600, 0, 0, 36);
        QVERIFY(field.moveBlock(c, 600, -101, 0, 1));  // lands without a field block to copy into
        QCOMPARE(field.removeFullLines({}).rows, 0);
    }
};

QTEST_GUILESS_MAIN(TestGameField)
#include "test_gamefield.moc"
