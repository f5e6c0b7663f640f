// Pieces, boxes, the ring of columns, the small player records and the shared field: moves,
// contact, landing, merging and row removal.
#include <QSet>
#include <QTest>
#include <algorithm>
#include <memory>

#include "game/gameblock.h"
#include "game/gamefield.h"
#include "game/gamegrid.h"
#include "game/gameplayer.h"
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

using CellSet = QSet<QPair<int, int>>;

// The cells of a rotation (turned a quarter more), moved so the first in order is at 0, 0.
CellSet cellsOf(const GameBlock& b, int rotation, bool turned = false) {
    QList<QPair<int, int>> raw;
    for (const GameBox& box : b.boxes()) {
        const int x = box.x(rotation) / 50, y = box.y(rotation) / 50;
        raw.append(turned ? qMakePair(-y, x) : qMakePair(x, y));
    }
    const QPair<int, int> first = *std::min_element(raw.begin(), raw.end());
    CellSet out;
    for (const auto& c : raw) {
        out.insert({c.first - first.first, c.second - first.second});
    }
    return out;
}

struct ScriptedRandom : RandomSource {
    explicit ScriptedRandom(QList<int> v) : values(std::move(v)) {}
    int next() override { return values.isEmpty() ? 0 : values.takeFirst(); }
    QList<int> values;
};

}  // namespace

class TestGameModel : public QObject {
    Q_OBJECT
    GameField field;

private Q_SLOTS:
    void init() { QVERIFY(field.reset(12)); }

    // Columns wrap both ways however far x lies; rows clamp at the floor or floor below it.
    void ringColumnsAndRows() {
        const int columns[][3] = {
            {12, -50, 11},  {12, 600, 0},    {12, 650, 1},      {12, -600, 0},
            {12, -650, 11}, {12, -30, 11},   {36, INT_MIN, 19}, {0, 500, 0},
            {-12, 500, 0},  {24, -8500, 22}, {48, 21750, 3}};  // the last two 7 and 9 rings away
        for (const auto& [width, x, column] : columns) {
            QCOMPARE(GameGrid::column(width, x), column);
        }
        const int rows[][3] = {{-30, 0, -1}, {-50, 0, -1},   {-51, 0, -2},
                               {49, 0, 0},   {1250, 25, 25}, {99, 1, 1}};
        for (const auto& [y, clamped, floor] : rows) {
            QCOMPARE(GameGrid::rowClamped(y), clamped);
            QCOMPARE(GameGrid::rowFloor(y), floor);
        }
        QCOMPARE(GameGrid::rowClamped(INT_MIN), 0);
    }

    // The first box decides removals (order matters); each rotation a quarter turn ccw.
    void shapesFirstBoxesAndRotations() {
        const int expected[7][4][2] = {
            {{1, 1}, {1, 1}, {1, 1}, {1, 1}}, {{0, 1}, {1, 0}, {2, 1}, {1, 2}},
            {{0, 2}, {0, 0}, {2, 0}, {2, 2}}, {{2, 2}, {0, 2}, {0, 0}, {2, 0}},
            {{0, 0}, {0, 2}, {0, 0}, {0, 2}}, {{1, 2}, {0, 1}, {1, 2}, {0, 1}},
            {{0, 2}, {1, 0}, {0, 2}, {1, 0}},
        };
        for (int kind = 0; kind < 7; ++kind) {
            const GameBlock b(1, 2, kind, 0, 0, 0, 12);
            for (int r = 0; r < 4; ++r) {
                QCOMPARE(b.boxes().front().x(r), expected[kind][r][0] * 50);
                QCOMPARE(b.boxes().front().y(r), expected[kind][r][1] * 50);
                for (const GameBox& box : b.boxes()) {
                    QVERIFY(box.x(r) >= 0 && box.x(r) < 200 && box.y(r) >= 0 && box.y(r) < 200);
                }
                QCOMPARE(cellsOf(b, r).size(), 4);
                QCOMPARE(cellsOf(b, r, true), cellsOf(b, (r + 1) % 4));
            }
        }
        // No kind or a kind out of range makes a block without boxes; rotations wrap.
        const GameBlock empty(0, 0, 0, 12);
        QVERIFY(empty.kind() == -1 && empty.colour() == -1 && empty.boxes().empty());
        const GameBlock bad(3, 1, -1, 0, 0, 0, 12);
        const GameBlock tooBig(3, 1, 7, 0, 0, 0, 12);
        QVERIFY(bad.boxes().empty() && tooBig.kind() == -1 && tooBig.boxes().empty());
        QCOMPARE(GameBlock(3, 1, 1, 0, 0, -1, 12).rotation(), 3);
    }

    // Rotation first, then kind, each from the draw's non-negative part; a real source deals all.
    void randomBlocksDrawRotationBeforeKind() {
        const int draws[][4] = {{6, 3, 2, 3}, {7, 13, 3, 6}, {-1, -5, 3, 4}};
        for (const auto& [first, second, rotation, kind] : draws) {
            ScriptedRandom script({first, second});
            const GameBlock b(5, 1, 100, 200, 24, script);
            QCOMPARE((QList<int>{b.rotation(), b.kind()}), (QList<int>{rotation, kind}));
        }
        RandomSource random(42);
        QSet<int> kinds;
        for (int i = 0; i < 100; ++i) {
            kinds.insert(GameBlock(i, 0, 0, 0, 12, random).kind());
        }
        QCOMPARE(kinds.size(), 7);
    }

    // Rows count from the block's own y and rotation; a copy takes the boxes as they stand,
    // relative to the target's position, the same in every rotation.
    void removeLineAndCopyUseBothPlaces() {
        GameBlock i(9, 2, 6, 100, 250, 1, 12);  // vertical I in column 3, rows 5..8
        i.removeLine(6);
        GameBlock copy(7, 100, 50, 24);
        copy.addBoxesOf(i);
        QList<QPair<int, int>> at;
        for (const GameBox& b : copy.boxes()) {
            at.append({b.x(2) + 100, b.y(3) + 50});
            QVERIFY(b.colour() == 2 && b.fieldsizeX() == 24);
        }
        QCOMPARE(at, (QList<QPair<int, int>>{{150, 250}, {150, 300}, {150, 350}}));
    }

    void playerKeysAndStatus() {
        GamePlayer p(1, QStringLiteral("Ann"), 2, true, GamePlayer::Waiting);
        p.keyCount() = {7, 3, 0, 2, 1};
        p.keys().pendingLeft = p.keys().pendingRight = true;
        p.resetKeys(false);  // a new block: presses so far count as done
        QCOMPARE(p.keyDone(), (std::array<int, 5>{7, 3, 0, 2, 1}));
        QVERIFY(!p.pendingLeft() && !p.pendingRight() && !p.anyKeyPending());
        p.keyCount()[0] = 9;
        QVERIFY(p.anyKeyPending());
        p.resetKeys(true);
        QVERIFY((p.keyCount() == std::array<int, 5>{} && p.keyDone() == std::array<int, 5>{}));
        QCOMPARE((QList{GamePlayer::statusFromInt(6), GamePlayer::statusFromInt(7),
                        GamePlayer::statusFromInt(-1)}),
                 (QList{GamePlayer::Pausing, GamePlayer::Empty, GamePlayer::Empty}));
        p.setStatus(GamePlayer::Pausing);
        QVERIFY(p.isInGame());
        p.setStatus(GamePlayer::Spectating);
        QVERIFY(!p.isInGame());
    }

    // The moved flag, which sends a movement, waits until a box enters another row or column.
    void movedFlagsAndClaimedCells() {
        auto b = placed(field, 6, kO, 0, 640, 0, 1);  // rows 13, 14
        QVERIFY(b);
        field.clearFlags();
        QVERIFY(!field.moveBlock(*b, 0, 600, 0, 1) && b->y() == 600 && !field.moved(1));
        QVERIFY(!field.moveBlock(*b, 0, 599, 0, 1) && field.moved(1));
        field.clearFlags();
        QVERIFY(!field.moveBlock(*b, -100, 599, 0, 1));  // a step across the seam
        QVERIFY(field.moved(1) && field.cell(11, 12) == 6 && field.cell(0, 12) == 6);

        // A block that could not enter takes only the cells nobody holds.
        auto a = placed(field, 5, kO, 0, 500, 0, 0);  // columns 1, 2, rows 11, 12
        QVERIFY(a);
        GameBlock ghost(7, 1, kO, 0, 500, 0, 12);  // stands on a, never entered
        field.claimFreeCells(ghost);
        QCOMPARE(field.cell(1, 11), 5);
        field.releaseCells(*a);
        field.claimFreeCells(ghost);
        QVERIFY(field.occupies(ghost));
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
        QVERIFY(!field.moveBlock(single, 0, 0, 0, 1) && field.cell(1, 4) == 22);
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
        QVERIFY(!field.moveBlock(b, INT_MAX, 500, 0, 0) && !field.moveBlock(b, INT_MIN, 500, 7, 0));
        QVERIFY(field.occupies(b));
        // Above the top row there is no room: the move is refused, not stored.
        const int y = b.y();
        QVERIFY(!field.moveBlock(b, 0, 5000, 0, 0) && !field.moveBlock(b, 0, INT_MAX - 10, 0, 0));
        QCOMPARE(b.y(), y);
        // Far below the floor is a fall onto it.
        QVERIFY(field.moveBlock(b, 0, INT_MIN, 0, 0) && field.landed(0));

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

QTEST_GUILESS_MAIN(TestGameModel)
#include "test_gamemodel.moc"
