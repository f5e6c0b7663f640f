// The tick driven by hand, and a player's copy of the field fed as the network feeds it.
#include <QTest>

#include "apps/fieldsim/fieldrun.h"
#include "game/fieldmirror.h"
#include "game/gamegrid.h"
#include "game/gamesimulation.h"
#include "tests/game/fieldsetup.h"
#include "tests/game/wirefeed.h"

namespace {

struct Recorder : GameEvents {
    struct Record {
        QString code;
        QList<int> values;
    };
    QList<Record> records;
    int score = -1;
    int lines = -1;
    QString playtime;

    void newBlock(const GameBlock& b) override {
        records.append(
            {QStringLiteral("SBLC"), {b.id(), b.colour(), b.kind(), b.x(), b.y(), b.rotation()}});
    }
    void blocksMoved(const QList<GameBlock*>& blocks, const QList<int>& active) override {
        records.append({QStringLiteral("SMVE"), ids(blocks, false) + active});
    }
    void blocksMerged(const QList<GameBlock*>& blocks) override {
        records.append({QStringLiteral("SMRG"), ids(blocks, true)});
    }
    void gameOver(int s, int l, const QString& p) override {
        std::tie(score, lines, playtime) = std::tie(s, l, p);
    }
    static QList<int> ids(const QList<GameBlock*>& blocks, bool withPlace) {
        QList<int> v;
        for (const GameBlock* b : blocks) {
            v << b->id() << (withPlace ? QList<int>{b->x(), b->y()} : QList<int>{});
        }
        return v;
    }
};

struct Game : fieldsetup::PlayingSim {
    Recorder recorder;

    explicit Game(int players) : PlayingSim(11) { start(players, &recorder); }
    GamePlayer& player(int slot) { return *sim.player(slot); }
    GameBlock& block(int slot) { return *sim.player(slot)->currentBlock(); }
    void setBlock(int slot, int kind, int x, int y, int rotation = 0) {
        fieldsetup::setBlock(sim, slot, kind, x, y, rotation);
    }
    void press(int slot, int key, int times = 1) {
        QList<int> input(10, 0);
        for (int k = 0; k < 5; ++k) {
            input[k] = player(slot).keyCount()[k] + (k == key ? times : 0);
        }
        sim.processPlayerInput(player(slot).connId(), KeyInput::fromList(input));
    }
    void tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            clock.advance(20);
            sim.mainLoop();
        }
    }
};

// Every grid cell is held by exactly what covers it (in the copy too); row counts match the boxes.
QString consistencyError(const GameSimulation& sim, const FieldMirror* copy = nullptr) {
    const GameField& f = sim.field();
    const int w = f.fieldsizeX();
    std::vector<int> covered(std::size_t(w * 2 * GameField::kRows), GameField::kNoBlock);
    QString error;
    const auto cover = [&](const GameBlock& b) {
        for (const GameBox& box : b.boxes()) {
            const int c = GameGrid::column(w, b.x() + box.x(b.rotation()));
            const int r = GameGrid::rowClamped(b.y() + box.y(b.rotation()));
            int& at = covered.at(std::size_t(r * w + c));
            if (at != GameField::kNoBlock) {
                error = QString::asprintf("%d and %d both cover %d,%d", b.id(), at, c, r);
            }
            at = b.id();
        }
    };
    cover(*f.fieldBlock());  // the landed boxes
    for (int slot = 0; slot < GameSimulation::kSlots; ++slot) {
        if (const GamePlayer* p = sim.player(slot); p && p->isInGame()) {
            cover(*p->currentBlock());
        }
    }
    for (int r = 0; r < GameField::kRows && error.isEmpty(); ++r) {
        int landed = 0;
        for (int c = 0; c < w && error.isEmpty(); ++c) {
            const int id = covered[std::size_t(r * w + c)];
            landed += id == GameField::kFieldBlockId ? 1 : 0;
            if (f.cell(c, r) != id || (copy && copy->cell(c, r) != id)) {
                error = QString::asprintf("cell %d,%d: server %d, copy %d, covered by %d", c, r,
                                          f.cell(c, r), copy ? copy->cell(c, r) : id, id);
            }
        }
        if (error.isEmpty() && f.rowCount(r) != landed) {
            error = QString::asprintf("row %d counts %d, holds %d", r, f.rowCount(r), landed);
        }
    }
    return error;
}

// A one-box block at x, y.
std::unique_ptr<GameBlock> single(int id, int x, int y, int fieldsizeX = 12) {
    auto b = std::make_unique<GameBlock>(id, x, y, fieldsizeX);
    b->addBox(GameBox(1, {0, 0, 0, 0}, {0, 0, 0, 0}, fieldsizeX));
    return b;
}

}  // namespace

class TestGameSimulation : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startDealsFirstBlocks() {
        Game g(3);
        QCOMPARE(g.sim.fieldsizeX(), 36);
        const auto& r = g.recorder.records;
        QCOMPARE(r.size(), 8);
        QCOMPARE(r[0].code, QStringLiteral("SBLC"));
        QCOMPARE(r[0].values, QList<int>({0, -1, -1, 0, 0, 0}));  // the field block
        for (int j = 0; j < 3; ++j) {  // current block, then the next one parked off the field
            QCOMPARE(r[1 + 2 * j].values.mid(0, 2), QList<int>({1 + 2 * j, j}));
            QCOMPARE(r[2 + 2 * j].values[0], 2 + 2 * j);
            QCOMPARE(r[2 + 2 * j].values.mid(3, 2), QList<int>({-500 * (j + 1), -500 * (j + 1)}));
        }
        QCOMPARE(r[7].code, QStringLiteral("SMVE"));
        QCOMPARE(r[7].values, QList<int>({1, 3, 5, 1, -1, 3, -1, 5, -1, -1, -1}));
        QVERIFY(!g.sim.startGame(0) && !g.sim.startGame(60));
    }

    void pressesAreCarriedOutThreeTicksApart() {
        Game g(1);
        g.setBlock(0, 1, 200, 1000);
        g.press(0, 0, 3);
        QList<int> rotations;
        for (int i = 0; i < 8; ++i) {
            g.tick();
            rotations << g.block(0).rotation();
        }
        QCOMPARE(rotations, QList<int>({1, 1, 1, 2, 2, 2, 3, 3}));
        QCOMPARE(g.player(0).keyDone()[0], 3);
    }

    void sideStepWaitsForRoom() {
        Game g(1);
        g.setBlock(0, 0, 200, 600);                 // columns 5, 6, rows 13, 14
        fieldsetup::landBox(g.sim.field(), 7, 14);  // a ledge to the right
        g.press(0, 2);
        g.tick();
        QVERIFY(g.block(0).x() == 200 && g.player(0).pendingRight());
        QCOMPARE(g.player(0).keyDone()[2], 0);
        g.tick();  // fallen below the ledge: the step goes through
        QVERIFY(g.block(0).x() == 250 && !g.player(0).pendingRight());
        QCOMPARE(g.player(0).keyDone()[2], 1);
    }

    void dropPassesBelowAnotherFallingBlock() {
        Game g(2);
        g.setBlock(0, 0, 200, 600);   // rows 13, 14
        g.setBlock(1, 0, 200, 1000);  // the same columns, rows 21, 22
        g.tick();
        g.recorder.records.clear();
        const int lowerId = g.block(0).id();
        const int upperId = g.block(1).id();
        g.press(1, 4);
        g.tick();
        QVERIFY(g.block(0).id() == lowerId && g.block(0).y() == 598);
        QVERIFY(g.block(1).id() != upperId);  // landed and replaced
        QCOMPARE(fieldsetup::cells(g.sim.field(), {{5, 0}, {6, 1}, {5, 12}}),
                 (QList<int>{GameField::kFieldBlockId, GameField::kFieldBlockId, lowerId}));
        const auto& r = g.recorder.records;
        QVERIFY(r.size() == 3 && r[1].code == QStringLiteral("SMRG"));
        QCOMPARE(r[1].values, QList<int>({upperId, 200, -2}));
        QCOMPARE(consistencyError(g.sim), QString());
    }

    // Catches the next block announced after the merge, or entering off the landed column.
    void landingSpawnsAboveTheFieldAndAnnounces() {
        Game g(1);
        g.setBlock(0, 0, 450, 0);  // columns 10, 11, rows 1, 2
        const int nextId = g.player(0).nextBlock()->id();
        g.tick();  // enters the grid
        g.recorder.records.clear();
        g.press(0, 4);
        g.tick();
        const auto& r = g.recorder.records;
        QVERIFY(r.size() == 3 && r[0].code == "SBLC" && r[1].code == "SMRG" && r[2].code == "SMVE");
        QVERIFY(r[0].values[0] == nextId + 1 && r[0].values[3] == -500);
        QCOMPARE(r[2].values.first(), nextId);
        const GameBlock& n = g.block(0);
        QCOMPARE((QList<int>{n.id(), n.x(), n.y(), g.player(0).spawnRow()}),
                 (QList<int>{nextId, 450, 1300, 37}));
        QVERIFY(g.sim.field().occupies(n));
    }

    // Catches two blocks spawned onto one cell above a crowded column.
    void overlappingSpawnsNeverShareACell() {
        Game g(4);
        g.setBlock(0, 0, 200, -50);      // lands on the floor in the next tick
        g.setBlock(1, 0, 200, 50);       // lands on it in the same tick
        g.setBlock(2, 6, 200, 1551, 1);  // column 5, rows 31..34 after its fall
        g.setBlock(3, 6, 200, 1351, 1);  // column 5, rows 27..30
        const int fieldsizeX = g.sim.fieldsizeX();
        const int firstNext = g.player(0).nextBlock()->id();
        const int secondNext = g.player(1).nextBlock()->id();
        g.player(0).setNextBlock(
            std::make_unique<GameBlock>(firstNext, 0, 6, -500, -500, 1, fieldsizeX));
        g.player(1).setNextBlock(
            std::make_unique<GameBlock>(secondNext, 1, 0, -1000, -1000, 0, fieldsizeX));
        g.tick();
        QVERIFY(g.sim.running());
        QVERIFY(g.block(0).id() == firstNext && g.block(1).id() == secondNext);
        QCOMPARE(g.block(0).y(), 1750);  // held above the two blocks in column 5
        QCOMPARE(g.block(1).y(), 1200);  // went on below them
        QVERIFY(g.sim.field().occupies(g.block(0)) && g.sim.field().occupies(g.block(1)));
        QCOMPARE(consistencyError(g.sim), QString());
    }

    // A cell a second at speed 1, a whole one at an accelerate; paused ticks count neither for the
    // playtime nor towards the next speed.
    void fallPauseAndSpeed() {
        Game g(1);
        g.setBlock(0, 0, 200, 1250);
        QList<int> ys;
        for (const auto& [ticks, accelerate] :
             {std::pair{1, false}, {49, false}, {1, true}, {1, false}}) {
            if (accelerate) {
                g.press(0, 1);
            }
            g.tick(ticks);
            ys << g.block(0).y();
        }
        QCOMPARE(ys, (QList<int>{1249, 1200, 1150, 1149}));
        g.sim.setPaused(true);
        g.clock.advance(5000);
        const int ticks = g.sim.tickCount();
        g.tick(5);
        QVERIFY(g.block(0).y() == 1149 && g.sim.tickCount() == ticks);
        g.sim.setPaused(false);
        g.tick(5);
        QCOMPARE(g.block(0).y(), 1144);
        QCOMPARE(g.sim.playtimeMs(), qint64(57 * 20));
        g.tick(3000 - 57);
        QCOMPARE(g.sim.speed(), 1);
        g.tick();
        QCOMPARE(g.sim.speed(), 2);
        QCOMPARE(g.sim.tickCount(), 1);
    }

    // The final score is the points made and the whole seconds played.
    void gameOverAddsThePlaytime() {
        Game g(1);
        fieldsetup::fillRow(g.sim.field(), 0, {1});
        g.setBlock(0, 6, 0, 200, 1);  // an upright I over the gap
        g.press(0, 4);
        g.clock.set(125000);
        g.tick();
        fieldsetup::landBox(g.sim.field(), 5, GameField::kFieldRows);
        g.tick();
        QCOMPARE((QList<int>{g.recorder.score, g.recorder.lines}), (QList<int>{135, 1}));
        QCOMPARE(g.recorder.playtime, QStringLiteral("00:02:05"));
    }

    // Catches grid or copy drift over whole games, crowded ones reaching the top too.
    void longGamesStayConsistent_data() {
        QTest::addColumn<int>("columns");
        QTest::addColumn<bool>("crowded");
        QTest::addColumn<int>("seeds");
        QTest::newRow("4 players") << 48 << false << 1;
        QTest::newRow("2 players") << 24 << false << 1;
        QTest::newRow("4 crowded") << 48 << true << 5;
        QTest::newRow("3 crowded") << 36 << true << 5;
    }
    void longGamesStayConsistent() {
        QFETCH(int, columns);
        QFETCH(bool, crowded);
        QFETCH(int, seeds);
        int games = 0;
        for (int seed = 1; seed <= seeds; ++seed) {
            FieldMirror mirror;
            WireFeed feed(mirror, columns);
            FieldRun run(columns, static_cast<std::uint32_t>(seed), crowded, &feed);
            const GameSimulation& sim = run.simulation();
            for (int t = 0; t < 8000 && !run.over(); ++t) {
                run.step();
                if (run.over()) {
                    break;
                }
                const QString error = consistencyError(sim, &mirror);
                QCOMPARE(mirror.activeBlockIds(), sim.activeBlockIds());
                QVERIFY2(error.isEmpty(),
                         qPrintable(QString::asprintf("seed %d tick %d: ", seed, t) + error));
            }
            QVERIFY(run.piecesLanded() > 10);
            // Only a stack past the field's top ends the game.
            QVERIFY(!run.over() || sim.field().stackHeight() > GameSimulation::kFieldHeightLimit);
            QCOMPARE(mirror.lines(), sim.lines());
            QVERIFY(crowded || sim.lines() > 0);
            games += run.over() ? 1 : 0;
        }
        QVERIFY(!crowded || games > 0);  // crowding must actually reach the top
    }

    // Catches wrong drop distances: stack, gap, falling block, between rows, far above.
    void copyFindsHowFarABlockDrops() {
        const int cases[][3] = {
            {0, 500, 400}, {5, 500, 500}, {3, 500, 250}, {0, 520, 400}, {0, 5000000, 4999900}};
        QList<FieldCell> stack;  // rows 0 and 1 but for column 5
        for (int c = 0; c < 12; ++c) {
            if (c != 5) {
                stack << FieldCell{c, 0, 2} << FieldCell{c, 1, 2};
            }
        }
        for (const auto& [column, y, drop] : cases) {
            FieldMirror mirror;
            mirror.startField(12, stack);
            mirror.addBlock(single(9, 150, 200));
            mirror.addBlock(single(7, column * 50, y));
            QCOMPARE(mirror.dropDistance(*mirror.block(7)), drop);
        }
    }

    // Catches missed movements not counted as loss, or not forgotten on a merge.
    void copyCountsMissingBlocksAsLoss() {
        FieldMirror mirror;
        mirror.startField(12, {});
        mirror.addBlock(single(4, 0, 1000));
        for (int i = 1; i <= FieldMirror::kMissesBeforeLoss + 1; ++i) {
            const bool loss = mirror.moveBlocks({{6, 50, 1000, 0}, {4, 100, 950, 0}}, {4, -1});
            QCOMPARE(loss, i > FieldMirror::kMissesBeforeLoss);
        }
        QCOMPARE(mirror.block(4)->x(), 0);  // never moved behind the miss
        mirror.mergeBlocks({{6, 50, 0, 0}});
        QVERIFY(!mirror.moveBlocks({{6, 50, 1000, 0}}, {}));

        // A new field block starts over; a width no field can have leaves none.
        mirror.startField(24, {});
        QVERIFY(mirror.fieldsizeX() == 24 && mirror.blockCount() == 0);
        mirror.startField(13, {});
        mirror.addBlock(single(5, 0, 0, 13));
        QVERIFY(!mirror.hasField() && !mirror.landed(0, 0));
        QCOMPARE(mirror.cell(0, 0), GameField::kNoBlock);
        QCOMPARE(mirror.mergeBlocks({{5, 0, 0, 0}}).rows, 0);
    }
};

QTEST_GUILESS_MAIN(TestGameSimulation)
#include "test_gamesimulation.moc"
