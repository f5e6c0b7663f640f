// The tick driven by hand, a player's copy of the field fed as the network feeds it, and the
// computer player on that copy: placements, keys, teammates' blocks and skill speeds.
#include <QTest>
#include <numeric>

#include "apps/fieldsim/fieldrun.h"
#include "game/computerplayer.h"
#include "game/fieldmirror.h"
#include "game/gamegrid.h"
#include "game/gamesimulation.h"
#include "tests/game/fieldsetup.h"

namespace {

// Passes a game's events to a field copy as records, as the client receives them.
struct WireFeed : GameEvents {
    WireFeed(FieldMirror& m, int w) : mirror(m), fieldsizeX(w) {}
    void newBlock(const GameBlock& b) override { mirror.addBlock(BlockRecord::of(b), fieldsizeX); }
    void blocksMoved(const QList<GameBlock*>& blocks, const QList<int>& activeIds) override {
        QVERIFY(!mirror.moveBlocks(GameMovement::of(blocks), activeIds));
    }
    void blocksMerged(const QList<GameBlock*>& blocks) override {
        mirror.mergeBlocks(GameMovement::of(blocks));
    }
    void gameOver(int, int, const QString&) override {}

    FieldMirror& mirror;
    int fieldsizeX;
};

constexpr int kI = 6;
constexpr int kO = 0;

// Columns a piece of kind covers with its frame at column.
QList<int> columnsOf(int kind, int rotation, int column, int width) {
    QList<int> out;
    const GameBlock shape(0, 0, kind, 0, 0, rotation, width);
    for (const GameBox& b : shape.boxes()) {
        const int c = GameGrid::column(width, (column * 50) + b.x(rotation));
        if (!out.contains(c)) {
            out.append(c);
        }
    }
    return out;
}

// A game on a clock moved by hand: its events recorded and fed to a client's copy of the field,
// with a computer to play on the copy.
struct Game : fieldsetup::PlayingSim, GameEvents {
    struct Record {
        QString code;
        QList<int> values;
    };
    explicit Game(int players) : PlayingSim(7), feed(mirror, 12 * players) { start(players, this); }

    void newBlock(const GameBlock& b) override {
        records.append(
            {QStringLiteral("SBLC"), {b.id(), b.colour(), b.kind(), b.x(), b.y(), b.rotation()}});
        feed.newBlock(b);
    }
    void blocksMoved(const QList<GameBlock*>& blocks, const QList<int>& active) override {
        records.append({QStringLiteral("SMVE"), ids(blocks, false) + active});
        feed.blocksMoved(blocks, active);
    }
    void blocksMerged(const QList<GameBlock*>& blocks) override {
        records.append({QStringLiteral("SMRG"), ids(blocks, true)});
        feed.blocksMerged(blocks);
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
    void fillRows(int rows, const QList<int>& gaps, int end = 48) {
        for (int r = 0; r < rows; ++r) {
            fieldsetup::fillRow(sim.field(), r, gaps, end);
        }
    }
    void place(int slot, int kind, int column, int row, int rotation = 0) {
        fieldsetup::setBlock(sim, slot, kind, column * 50, row * 50, rotation);
    }
    // The copy as a player joining now would get it.
    void syncCopy() {
        const int w = sim.fieldsizeX();
        auto landed = std::make_unique<GameBlock>(GameField::kFieldBlockId, 0, 0, w);
        landed->addBoxesOf(*sim.field().fieldBlock());
        mirror.addBlock(std::move(landed));
        for (int slot = 0; slot < GameSimulation::kSlots; ++slot) {
            if (const GamePlayer* p = sim.player(slot)) {
                sim.field().claimFreeCells(*p->currentBlock());
                mirror.addBlock(BlockRecord::of(*p->currentBlock()), w);
                mirror.addBlock(BlockRecord::of(*p->nextBlock()), w);
            }
        }
        mirror.moveBlocks({}, sim.activeBlockIds());
    }
    // The columns c plans the piece of slot into, thinking once on the copy.
    QList<int> plannedColumns(ComputerPlayer& c, int slot, int kind) {
        c.think(mirror, block(slot).id(), 1, 0, {});
        [&] { QVERIFY(c.hasTarget()); }();
        return columnsOf(kind, c.target().rotation, c.target().column, sim.fieldsizeX());
    }
    // Lets the computer play slot until its block lands; returns its presses per key.
    ComputerPlayer::Keys playOnePiece(int slot = 0) {
        ComputerPlayer::Keys total{};
        const int id = block(slot).id();
        QList<int> input(10, 0);
        for (int t = 0; t < 3000 && block(slot).id() == id; ++t) {
            const ComputerPlayer::Keys keys =
                computer.think(mirror, id, sim.speed(), clock.nowMs(),
                               {player(slot).keyCount(), player(slot).keyDone()});
            for (int k = 0; k < GamePlayer::kKeys; ++k) {
                total[k] += keys[k];
                input[k] += keys[k];
            }
            sim.processPlayerInput(slot, KeyInput::fromList(input));
            clock.advance(ComputerPlayer::kTickMs);
            sim.mainLoop();
        }
        [&] { QVERIFY(block(slot).id() != id); }();
        return total;
    }

    QList<Record> records;
    int score = -1;
    int lines = -1;
    QString playtime;
    FieldMirror mirror;
    WireFeed feed;
    ComputerPlayer computer{ComputerSkill::Hard, 1};
};

// Every grid cell is held by exactly what covers it (in the copy too); row counts match the boxes.
QString consistencyError(const GameSimulation& sim, const FieldMirror* copy = nullptr) {
    const GameField& f = sim.field();
    const int w = f.fieldsizeX();
    std::vector<int> covered(std::size_t(w * 2 * GameField::kRows), GameField::kNoBlock);
    QList<const GameBlock*> blocks{f.fieldBlock()};  // the landed boxes, then the falling ones
    for (int slot = 0; slot < GameSimulation::kSlots; ++slot) {
        if (const GamePlayer* p = sim.player(slot); p && p->isInGame()) {
            blocks.append(p->currentBlock());
        }
    }
    for (const GameBlock* b : blocks) {
        for (const GameBox& box : b->boxes()) {
            const int c = GameGrid::column(w, b->x() + box.x(b->rotation()));
            const int r = GameGrid::rowClamped(b->y() + box.y(b->rotation()));
            int& at = covered.at(std::size_t(r * w + c));
            if (at != GameField::kNoBlock) {
                return QString::asprintf("%d and %d both cover %d,%d", b->id(), at, c, r);
            }
            at = b->id();
        }
    }
    for (int r = 0; r < GameField::kRows; ++r) {
        int landed = 0;
        for (int c = 0; c < w; ++c) {
            const int id = covered[std::size_t(r * w + c)];
            landed += id == GameField::kFieldBlockId ? 1 : 0;
            if (f.cell(c, r) != id || (copy && copy->cell(c, r) != id)) {
                return QString::asprintf("cell %d,%d: server %d, copy %d, covered by %d", c, r,
                                         f.cell(c, r), copy ? copy->cell(c, r) : id, id);
            }
        }
        if (f.rowCount(r) != landed) {
            return QString::asprintf("row %d counts %d, holds %d", r, f.rowCount(r), landed);
        }
    }
    return {};
}

std::unique_ptr<GameBlock> single(int id, int x, int y, int fieldsizeX = 12) {
    auto b = std::make_unique<GameBlock>(id, x, y, fieldsizeX);
    b->addBox(GameBox(1, {0, 0, 0, 0}, {0, 0, 0, 0}, fieldsizeX));
    return b;
}

// A stack of rows full up to column end but for gaps; the own piece of kind (-1: as dealt) at
// column; the lines cleared (-1: any), the side key pressed (2 right, 3 left, 0 either), a wait.
struct Piece {
    int width;
    QList<int> gaps;
    int rows, end, kind, startColumn;
    PartNeighbours neighbours;
    int lines, side;
    bool waits;
};

}  // namespace

Q_DECLARE_METATYPE(Piece)

class TestGameSimulation : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startDealsFirstBlocks() {
        Game g(3);
        QCOMPARE(g.sim.fieldsizeX(), 36);
        const auto& r = g.records;
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

    // Presses are carried out three ticks apart; a side step waits for room.
    void pressesWaitForTheirTickAndForRoom() {
        Game g(1);
        g.setBlock(0, 1, 200, 1000);
        g.press(0, 0, 3);
        QList<int> rotations;
        for (int i = 0; i < 9; ++i) {
            g.tick();
            rotations << g.block(0).rotation();
        }
        QCOMPARE(rotations, QList<int>({1, 1, 1, 2, 2, 2, 3, 3, 3}));
        QCOMPARE(g.player(0).keyDone()[0], 3);

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
        g.records.clear();
        const int lowerId = g.block(0).id();
        const int upperId = g.block(1).id();
        g.press(1, 4);
        g.tick();
        QVERIFY(g.block(0).id() == lowerId && g.block(0).y() == 598);
        QVERIFY(g.block(1).id() != upperId);  // landed and replaced
        QCOMPARE(fieldsetup::cells(g.sim.field(), {{5, 0}, {6, 1}, {5, 12}}),
                 (QList<int>{GameField::kFieldBlockId, GameField::kFieldBlockId, lowerId}));
        const auto& r = g.records;
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
        g.records.clear();
        g.press(0, 4);
        g.tick();
        const auto& r = g.records;
        QVERIFY(r.size() == 3 && r[0].code == "SBLC" && r[1].code == "SMRG" && r[2].code == "SMVE");
        QVERIFY(r[0].values[0] == nextId + 1 && r[0].values[3] == -500 && r[2].values[0] == nextId);
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
        const int firstNext = g.player(0).nextBlock()->id();
        const int secondNext = g.player(1).nextBlock()->id();
        g.player(0).setNextBlock(std::make_unique<GameBlock>(firstNext, 0, 6, -500, -500, 1, 48));
        g.player(1).setNextBlock(
            std::make_unique<GameBlock>(secondNext, 1, 0, -1000, -1000, 0, 48));
        g.tick();
        QVERIFY(g.sim.running() && g.block(0).id() == firstNext && g.block(1).id() == secondNext);
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
        QVERIFY(g.sim.speed() == 2 && g.sim.tickCount() == 1);
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
        QVERIFY(g.score == 135 && g.lines == 1 && g.playtime == QStringLiteral("00:02:05"));
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

    // Catches wrong drop distances (stack, gap, falling block, between rows, far above), missed
    // movements not counted as loss or not forgotten on a merge.
    void copyDropsAndMisses() {
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

        // Missed movements beyond the allowance count as loss, until a merge forgets them.
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

    // The short way round the ring to the placement that clears rows, reaching further beside a
    // person; a part ahead of the lowest waits before its drop (beside a person too).
    void playsOnePiece_data() {
        QTest::addColumn<Piece>("c");
        const PartNeighbours none, personRight{false, true};
        QTest::newRow("own well") << Piece{12, {6}, 4, 48, kI, 1, none, 4, 2, false};
        QTest::newRow("seam left") << Piece{12, {11}, 4, 48, kI, 1, none, 4, 3, false};
        QTest::newRow("seam right") << Piece{12, {0}, 4, 48, kI, 8, none, 4, 2, false};
        QTest::newRow("neighbour's part") << Piece{24, {12, 13}, 2, 48, kO, 6, none, 2, 2, false};
        QTest::newRow("far, computer") << Piece{48, {16, 17}, 2, 48, kO, 6, none, 0, 0, false};
        QTest::newRow("far, person") << Piece{48, {16, 17}, 2, 48, kO, 6, personRight, 2, 2, false};
        QTest::newRow("level") << Piece{24, {5}, 2, 24, -1, 0, none, -1, 0, false};
        QTest::newRow("ahead") << Piece{24, {5}, 2, 12, -1, 0, none, 0, 0, true};
        QTest::newRow("ahead, person") << Piece{24, {5}, 2, 12, -1, 0, {true, false}, 0, 0, true};
    }
    void playsOnePiece() {
        QFETCH(Piece, c);
        Game g(c.width / 12);
        g.fillRows(c.rows, c.gaps, c.end);
        if (c.kind >= 0) {
            g.place(0, c.kind, c.startColumn, 12);
        }
        g.syncCopy();
        g.computer.setPart(c.width, 0, 12, c.neighbours);
        const qint64 start = g.clock.nowMs();
        const ComputerPlayer::Keys keys = g.playOnePiece();
        const qint64 took = g.clock.nowMs() - start;
        QVERIFY(c.lines < 0 || (g.sim.lines() == c.lines && g.mirror.lines() == c.lines));
        QVERIFY(c.side == 0 || (keys[c.side] > 0 && keys[5 - c.side] == 0));
        QCOMPARE(keys[slotIndex(KeySlot::Drop)], 1);
        // At speed 1 a piece falling on by itself takes far longer.
        QVERIFY2((took >= ComputerPlayer::kAheadWaitMs) == c.waits,
                 qPrintable(QString::number(took)));
    }

    // Catches plans through a teammate's block: on the way low down, or above the well.
    void neverPlansThroughAFallingBlock() {
        // The teammate's kind, column, row, rotation (the first far away); piece row; well taken.
        const int cases[][6] = {
            {kO, 19, 20, 0, 9, 1}, {kI, 4, 8, 1, 9, 0}, {kI, 4, 8, 1, 20, 1}, {kO, 0, 8, 1, 20, 0}};
        for (const auto& [kind, column, row, rotation, pieceRow, wellTaken] : cases) {
            Game g(2);
            g.fillRows(4, {1});
            for (int r = 4; r < 16; ++r) {
                if (r < 8) {
                    fieldsetup::landBox(g.sim.field(), 5, r);
                }
                fieldsetup::landBox(g.sim.field(), 16, r);
            }
            // The vertical I covers frame column + 1: it stands in column 8.
            g.place(0, kI, 7, pieceRow, 1);
            g.place(1, kind, column, row, rotation);
            g.syncCopy();
            g.computer.setPart(24, 0);
            QCOMPARE(g.plannedColumns(g.computer, 0, kI) == QList<int>{1}, wellTaken == 1);
        }
    }

    // Catches fights over a teammate's claimed place; landed or own claims count no more.
    void leavesATeammatesPlaceToIt() {
        for (int claims : {0, 1, 2, 3}) {  // none, the teammate's, a landed piece's, its own
            Game g(2);
            g.fillRows(2, {12, 13});
            g.place(0, kO, 6, 12);
            g.place(1, kO, 17, 20);
            g.syncCopy();
            ComputerPlayer mate(ComputerSkill::Hard, 2);
            mate.setPart(24, 12);
            g.plannedColumns(mate, 1, kO);
            std::optional<PlacementPlanner::Claim> claim = mate.claim();
            QVERIFY(claim.has_value());
            QCOMPARE(columnsOf(kO, claim->rotation, claim->column, 24), (QList<int>{12, 13}));
            if (claims == 2) {
                claim->blockId = 9999;
            } else if (claims == 3) {
                claim->blockId = g.block(0).id();
            }
            g.computer.setPart(24, 0);
            if (claims > 0) {
                g.computer.setTeamClaims({*claim});
            }
            QCOMPARE(g.plannedColumns(g.computer, 0, kO) == (QList<int>{12, 13}), claims != 1);
        }
    }

    // Catches the next piece judged against blocks that will have fallen on by then.
    void nextPieceLooksPastTheBlocksFallingNow() {
        for (const bool blocked : {false, true}) {
            // A well in column 6 (the vertical I stands in frame column + 1), blocks above it.
            FieldBoard board(24);
            for (int c = 0; c < 24; ++c) {
                for (int r = 0; r < 30; ++r) {
                    if (r < 4 && c != 6) {
                        board.setLanded(c, r);
                    } else if (blocked && r >= 26 && c >= 4 && c < 10) {
                        board.setOther(c, r);
                    }
                }
            }
            PlacementPlanner planner;
            planner.setPart(24, 0, 12);
            PlacementPlanner::Situation s;
            s.piece = {kI, 1, 1, 20 * 50};
            s.timing.combineKeys = true;
            s.nextKind = kO;
            const std::vector<PlacementPlanner::Choice> ranked = planner.rank(board, s, true);
            QVERIFY(!ranked.empty());
            QCOMPARE(columnsOf(kI, ranked[0].rotation, ranked[0].column, 24), QList<int>{6});
        }
    }

    // Catches a drop onto a block that steps under the piece in the same tick.
    void neverDropsOntoABlockThatStepsUnderIt() {
        Game g(2);
        g.fillRows(2, {13, 14});
        g.place(1, kO, 12, 9);     // over the gap
        g.place(0, kI, 11, 2, 1);  // a teammate's upright I beside the gap, on the stack
        g.syncCopy();
        g.computer.setPart(24, 12);
        g.press(0, slotIndex(KeySlot::Right));  // into the gap, first in the tick
        g.playOnePiece(1);
        const auto landed = [&](int c, int r) {
            return g.sim.field().cell(c, r) == GameField::kFieldBlockId;
        };
        int holes = 0;  // landed boxes over a cell without one
        for (int c = 0; c < 24; ++c) {
            for (int r = 1; r < GameField::kFieldRows; ++r) {
                holes += landed(c, r) && !landed(c, r - 1) ? 1 : 0;
            }
        }
        QCOMPARE(holes, 0);
        QVERIFY(landed(13, 0));  // the I went in
    }

    // Catches the simulator's stand-ins for people taken for computers (across the seam too), or
    // its skills playing alike.
    void simulatorPeopleAndSkills() {
        const std::vector<ComputerSkill> skills{ComputerSkill::Hard, ComputerSkill::Hard,
                                                ComputerSkill::Simple, ComputerSkill::Easy};
        const FieldRun named(48, 1, false, nullptr, skills, {false, false, false, true});
        QVERIFY(named.computer(2) == nullptr);
        QCOMPARE(named.computer(0)->neighbours(), (PartNeighbours{true, false}));
        QCOMPARE(named.computer(1)->neighbours(), (PartNeighbours{false, true}));
        QCOMPARE(named.computer(3)->neighbours(), (PartNeighbours{true, false}));
        const FieldRun unnamed(48, 1, false, nullptr, skills);
        QCOMPARE(unnamed.computer(0)->neighbours(), (PartNeighbours{false, false}));

        // Easy and hard on the same pieces; a few hundred ticks of play.
        std::array<int, 2> pieces{}, presses{};
        const std::array<ComputerSkill, 2> levels{ComputerSkill::Easy, ComputerSkill::Hard};
        for (std::size_t i = 0; i < levels.size(); ++i) {
            FieldRun run(12, 3, false, nullptr, {levels[i]});
            for (int t = 0; t < 600 && !run.over(); ++t) {
                run.step();
            }
            QVERIFY(!run.over());
            pieces[i] = run.piecesLanded();
            const auto& keys = run.simulation().player(0)->keyCount();
            presses[i] = std::accumulate(keys.begin(), keys.end(), 0);
        }
        // Hard drops at once and presses as fast as the server takes keys.
        QVERIFY2(pieces[1] >= 3 * pieces[0],
                 qPrintable(QStringLiteral("easy %1, hard %2").arg(pieces[0]).arg(pieces[1])));
        QVERIFY(pieces[0] >= 2 && presses[1] > 2 * presses[0]);
    }
};

QTEST_GUILESS_MAIN(TestGameSimulation)
#include "test_gamesimulation.moc"
