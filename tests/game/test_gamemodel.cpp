// Pieces, boxes, the ring of columns and the small player records.
#include <QSet>
#include <QTest>
#include <algorithm>

#include "game/gameblock.h"
#include "game/gamegrid.h"
#include "game/gameplayer.h"

namespace {

using CellSet = QSet<QPair<int, int>>;

CellSet cellsOf(const GameBlock& b, int rotation) {
    CellSet cells;
    for (const GameBox& box : b.boxes()) {
        cells.insert({box.x(rotation) / 50, box.y(rotation) / 50});
    }
    return cells;
}

// Moves a set of cells so its lowest x and y are 0.
CellSet normalised(const CellSet& cells) {
    int minX = INT_MAX, minY = INT_MAX;
    for (const auto& c : cells) {
        minX = std::min(minX, c.first);
        minY = std::min(minY, c.second);
    }
    CellSet out;
    for (const auto& c : cells) {
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
    void ringWrapsInBothDirections_data() {
        QTest::addColumn<int>("fieldsizeX");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("column");
        QTest::newRow("left of 0") << 12 << -50 << 11;
        QTest::newRow("one ring") << 12 << 600 << 0;
        QTest::newRow("past one ring") << 12 << 650 << 1;
        QTest::newRow("full ring left") << 12 << -600 << 0;
        QTest::newRow("far left") << 12 << -650 << 11;
        QTest::newRow("many rings left") << 24 << -50 * 24 * 7 - 100 << 22;
        QTest::newRow("many rings right") << 48 << 50 * 48 * 9 + 150 << 3;
        QTest::newRow("not a cell multiple") << 12 << -30 << 11;
        QTest::newRow("int min") << 36 << INT_MIN << 19;
        QTest::newRow("no columns") << 0 << 500 << 0;
        QTest::newRow("negative width") << -12 << 500 << 0;
    }
    void ringWrapsInBothDirections() {
        QFETCH(int, fieldsizeX);
        QFETCH(int, x);
        QFETCH(int, column);
        const int c = GameGrid::column(fieldsizeX, x);
        QCOMPARE(c, column);
        QVERIFY(c >= 0 && (fieldsizeX <= 0 ? c == 0 : c < fieldsizeX));
    }

    void rowsClampAndFloor() {
        QCOMPARE(GameGrid::rowClamped(-30), 0);
        QCOMPARE(GameGrid::rowClamped(-120), 0);
        QCOMPARE(GameGrid::rowClamped(49), 0);
        QCOMPARE(GameGrid::rowClamped(1250), 25);
        QCOMPARE(GameGrid::rowClamped(INT_MIN), 0);
        QCOMPARE(GameGrid::rowFloor(-30), -1);
        QCOMPARE(GameGrid::rowFloor(-50), -1);
        QCOMPARE(GameGrid::rowFloor(-51), -2);
        QCOMPARE(GameGrid::rowFloor(99), 1);
    }

    // Box order matters to the server and the client: the first box decides
    // whether a falling block lies above a removed row.
    void firstBoxOfEveryKindAndRotation() {
        const int expected[7][4][2] = {
            {{1, 1}, {1, 1}, {1, 1}, {1, 1}}, {{0, 1}, {1, 0}, {2, 1}, {1, 2}},
            {{0, 2}, {0, 0}, {2, 0}, {2, 2}}, {{2, 2}, {0, 2}, {0, 0}, {2, 0}},
            {{0, 0}, {0, 2}, {0, 0}, {0, 2}}, {{1, 2}, {0, 1}, {1, 2}, {0, 1}},
            {{0, 2}, {1, 0}, {0, 2}, {1, 0}},
        };
        for (int kind = 0; kind < 7; ++kind) {
            const GameBlock b(1, 2, kind, 0, 0, 0, 12);
            QCOMPARE(b.boxes().size(), std::size_t(4));
            for (int r = 0; r < 4; ++r) {
                QCOMPARE(b.boxes().front().x(r), expected[kind][r][0] * 50);
                QCOMPARE(b.boxes().front().y(r), expected[kind][r][1] * 50);
            }
        }
    }

    // Every rotation step is a quarter turn counter-clockwise (y up) about the
    // fixed frame; shapes stay inside the 4 x 4 frame with four distinct cells.
    void rotationsAreQuarterTurns() {
        for (int kind = 0; kind < 7; ++kind) {
            const GameBlock b(1, 0, kind, 0, 0, 0, 12);
            for (int r = 0; r < 4; ++r) {
                const CellSet cells = cellsOf(b, r);
                QCOMPARE(cells.size(), 4);
                for (const auto& c : cells) {
                    QVERIFY(c.first >= 0 && c.first < 4 && c.second >= 0 && c.second < 4);
                }
                CellSet turned;
                for (const auto& c : cells) {
                    turned.insert({-c.second, c.first});
                }
                QCOMPARE(normalised(turned), normalised(cellsOf(b, (r + 1) % 4)));
            }
        }
        // T: the bump moves from the -x side to the -y side.
        const GameBlock t(1, 0, 1, 0, 0, 0, 12);
        QVERIFY(cellsOf(t, 0).contains({0, 1}));
        QVERIFY(cellsOf(t, 1).contains({1, 0}));
    }

    void randomBlocksDrawRotationBeforeKind() {
        ScriptedRandom script({6, 3});  // rotation 6 % 4 = 2, kind 3 % 7 = 3
        const GameBlock b(5, 1, 100, 200, 24, script);
        QCOMPARE(b.rotation(), 2);
        QCOMPARE(b.kind(), 3);

        ScriptedRandom negative({-1, -5});
        const GameBlock n(5, 1, 0, 0, 24, negative);
        QVERIFY(n.rotation() >= 0 && n.rotation() < 4);
        QVERIFY(n.kind() >= 0 && n.kind() < 7);

        RandomSource random(42);
        QSet<int> kinds;
        QSet<int> rotations;
        for (int i = 0; i < 2000; ++i) {
            const GameBlock r(i, 0, 0, 0, 12, random);
            QVERIFY(r.kind() >= 0 && r.kind() <= 6);
            QVERIFY(r.rotation() >= 0 && r.rotation() <= 3);
            kinds.insert(r.kind());
            rotations.insert(r.rotation());
        }
        QCOMPARE(kinds.size(), 7);
        QCOMPARE(rotations.size(), 4);
    }

    void blocksWithoutShape() {
        const GameBlock field(0, 0, 0, 12);
        QCOMPARE(field.kind(), -1);
        QCOMPARE(field.colour(), -1);
        QVERIFY(field.boxes().empty());
        const GameBlock bad(3, 1, -1, 0, 0, 0, 12);
        QVERIFY(bad.boxes().empty());
        const GameBlock tooBig(3, 1, 7, 0, 0, 0, 12);
        QCOMPARE(tooBig.kind(), -1);
        QVERIFY(tooBig.boxes().empty());
        GameBlock empty;
        empty.removeLine(0);
        empty.addBoxesOf(bad);
        QVERIFY(empty.boxes().empty());
        const GameBlock wrapped(3, 1, 1, 0, 0, -1, 12);
        QCOMPARE(wrapped.rotation(), 3);
    }

    void removeLineDropsRowsAbove() {
        GameBlock field(0, 0, 0, 12);
        for (int row : {2, 3, 4, 4}) {
            field.addBox(GameBox(1, {0, 0, 0, 0}, {row * 50, row * 50, row * 50, row * 50}, 12));
        }
        field.removeLine(3);
        QList<int> rows;
        for (const GameBox& b : field.boxes()) {
            rows.append(b.y(0) / 50);
            QCOMPARE(b.y(0), b.y(3));  // all four entries move together
        }
        QCOMPARE(rows, QList<int>({2, 3, 3}));

        // A block off the origin: rows count from its own y and rotation.
        GameBlock i(9, 2, 6, 100, 250, 1, 12);  // vertical I in rows 5..8
        i.removeLine(6);
        QCOMPARE(i.boxes().size(), std::size_t(3));
        QList<int> absolute;
        for (const GameBox& b : i.boxes()) {
            absolute.append((b.y(1) + i.y()) / 50);
        }
        QCOMPARE(absolute, QList<int>({5, 6, 7}));
    }

    void addBoxesOfUsesBothPositions() {
        const GameBlock s(4, 3, 5, 550, 300, 1, 12);  // S, rotation 1
        GameBlock field(0, 0, 0, 12);
        field.addBoxesOf(s);
        QCOMPARE(field.boxes().size(), std::size_t(4));
        for (std::size_t k = 0; k < 4; ++k) {
            const GameBox& src = s.boxes()[k];
            const GameBox& dst = field.boxes()[k];
            for (int r = 0; r < 4; ++r) {
                QCOMPARE(dst.x(r), src.x(1) + 550);
                QCOMPARE(dst.y(r), src.y(1) + 300);
            }
            QCOMPARE(dst.colour(), 3);
        }
        GameBlock shifted(7, 100, 50, 24);
        shifted.addBoxesOf(s);
        QCOMPARE(shifted.boxes()[0].x(2), s.boxes()[0].x(1) + 450);
        QCOMPARE(shifted.boxes()[0].y(0), s.boxes()[0].y(1) + 250);
        QCOMPARE(shifted.boxes()[0].fieldsizeX(), 24);
    }

    void playerKeysAndStatus() {
        GamePlayer p(1, QStringLiteral("Ann"), 2, true, GamePlayer::Waiting);
        p.keyCount() = {7, 3, 0, 2, 1};
        p.setPendingLeft(true);
        p.setPendingRight(true);
        p.resetKeys(false);  // a new block: presses so far count as done
        QCOMPARE(p.keyDone(), (std::array<int, 5>{7, 3, 0, 2, 1}));
        QCOMPARE(p.keyCount(), (std::array<int, 5>{7, 3, 0, 2, 1}));
        QVERIFY(!p.pendingLeft() && !p.pendingRight());
        QVERIFY(!p.anyKeyPending());
        p.keyCount()[0] = 9;
        QVERIFY(p.keyPending(KeySlot::Rotate) && !p.keyPending(KeySlot::Drop));
        QVERIFY(p.anyKeyPending());
        p.resetKeys(true);
        QCOMPARE(p.keyCount(), (std::array<int, 5>{}));
        QCOMPARE(p.keyDone(), (std::array<int, 5>{}));

        QCOMPARE(GamePlayer::statusFromInt(6), GamePlayer::Pausing);
        QCOMPARE(GamePlayer::statusFromInt(7), GamePlayer::Empty);
        QCOMPARE(GamePlayer::statusFromInt(-1), GamePlayer::Empty);
        p.setStatus(GamePlayer::Pausing);
        QVERIFY(p.isInGame());
        p.setStatus(GamePlayer::Spectating);
        QVERIFY(!p.isInGame());
    }
};

QTEST_GUILESS_MAIN(TestGameModel)
#include "test_gamemodel.moc"
