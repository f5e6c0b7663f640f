// Pieces, boxes, the ring of columns and the small player records.
#include <QSet>
#include <QTest>
#include <algorithm>

#include "game/gameblock.h"
#include "game/gamegrid.h"
#include "game/gameplayer.h"

namespace {

using CellSet = QSet<QPair<int, int>>;

// The cells of a rotation (turned a quarter more), moved so the lowest x and y are 0.
CellSet cellsOf(const GameBlock& b, int rotation, bool turned = false) {
    QList<QPair<int, int>> raw;
    int minX = INT_MAX, minY = INT_MAX;
    for (const GameBox& box : b.boxes()) {
        const int x = box.x(rotation) / 50, y = box.y(rotation) / 50;
        raw.append(turned ? qMakePair(-y, x) : qMakePair(x, y));
        minX = std::min(minX, raw.last().first);
        minY = std::min(minY, raw.last().second);
    }
    CellSet out;
    for (const auto& c : raw) {
        out.insert({c.first - minX, c.second - minY});
    }
    return out;
}

class ScriptedRandom : public RandomSource {
public:
    explicit ScriptedRandom(QList<int> values) : values_(std::move(values)) {}
    int next() override { return values_.isEmpty() ? 0 : values_.takeFirst(); }

private:
    QList<int> values_;
};

}  // namespace

class TestGameModel : public QObject {
    Q_OBJECT

private Q_SLOTS:
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

    void blocksWithoutShape() {
        const GameBlock field(0, 0, 0, 12);
        QVERIFY(field.kind() == -1 && field.colour() == -1 && field.boxes().empty());
        const GameBlock bad(3, 1, -1, 0, 0, 0, 12);
        const GameBlock tooBig(3, 1, 7, 0, 0, 0, 12);
        QVERIFY(bad.boxes().empty() && tooBig.kind() == -1 && tooBig.boxes().empty());
        QCOMPARE(GameBlock(3, 1, 1, 0, 0, -1, 12).rotation(), 3);
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
        QVERIFY(p.keyPending(KeySlot::Rotate) && !p.keyPending(KeySlot::Drop) && p.anyKeyPending());
        p.resetKeys(true);
        QCOMPARE(p.keyCount(), (std::array<int, 5>{}));
        QCOMPARE(p.keyDone(), (std::array<int, 5>{}));
        QCOMPARE((QList{GamePlayer::statusFromInt(6), GamePlayer::statusFromInt(7),
                        GamePlayer::statusFromInt(-1)}),
                 (QList{GamePlayer::Pausing, GamePlayer::Empty, GamePlayer::Empty}));
        p.setStatus(GamePlayer::Pausing);
        QVERIFY(p.isInGame());
        p.setStatus(GamePlayer::Spectating);
        QVERIFY(!p.isInGame());
    }
};

QTEST_GUILESS_MAIN(TestGameModel)
#include "test_gamemodel.moc"
