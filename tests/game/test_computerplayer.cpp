// The computer player on real rules: placements, keys, teammates' blocks and skill speeds.
#include <QTest>
#include <numeric>

#include "apps/fieldsim/fieldrun.h"
#include "game/computerplayer.h"
#include "game/fieldmirror.h"
#include "game/gamegrid.h"
#include "game/gamesimulation.h"
#include "tests/game/fieldsetup.h"
#include "tests/game/wirefeed.h"

namespace {

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

// A server with a hand-built stack, a client's copy of its field fed by its events, and a
// computer to play on the copy.
class Table : public fieldsetup::PlayingSim {
public:
    explicit Table(int players) : PlayingSim(7), feed(mirror, 12 * players) {
        start(players, &feed);
    }

    // Rows 0 .. rows - 1 full up to column end but for the listed columns.
    void fillRows(int rows, const QList<int>& gaps, int end = 48) {
        for (int r = 0; r < rows; ++r) {
            fieldsetup::fillRow(sim.field(), r, gaps, end);
        }
    }
    // Slot's block swapped for kind with its frame at column, row.
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
        c.think(mirror, sim.player(slot)->currentBlock()->id(), 1, 0, {});
        [&] { QVERIFY(c.hasTarget()); }();
        return columnsOf(kind, c.target().rotation, c.target().column, sim.fieldsizeX());
    }
    // Lets the computer play slot until its block lands; returns its presses per key.
    ComputerPlayer::Keys playOnePiece(int slot = 0) {
        ComputerPlayer::Keys total{};
        const int id = sim.player(slot)->currentBlock()->id();
        QList<int> input(10, 0);
        for (int t = 0; t < 3000 && sim.player(slot)->currentBlock()->id() == id; ++t) {
            const ComputerPlayer::Keys keys =
                computer.think(mirror, id, sim.speed(), clock.nowMs(),
                               {sim.player(slot)->keyCount(), sim.player(slot)->keyDone()});
            for (int k = 0; k < GamePlayer::kKeys; ++k) {
                total[k] += keys[k];
                input[k] += keys[k];
            }
            sim.processPlayerInput(slot, KeyInput::fromList(input));
            clock.advance(ComputerPlayer::kTickMs);
            sim.mainLoop();
        }
        [&] { QVERIFY(sim.player(slot)->currentBlock()->id() != id); }();
        return total;
    }

    FieldMirror mirror;
    WireFeed feed;
    ComputerPlayer computer{ComputerSkill::Hard, 1};
};

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

class TestComputerPlayer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The short way round the ring to the placement that clears rows, reaching further beside a
    // person; a part ahead of the lowest waits before its drop (beside a person too).
    void playsOnePiece_data() {
        QTest::addColumn<Piece>("c");
        const PartNeighbours none, personRight{false, true};
        QTest::newRow("own well") << Piece{12, {6}, 4, 48, kI, 1, none, 4, 2, false};
        QTest::newRow("seam left") << Piece{12, {11}, 4, 48, kI, 1, none, 4, 3, false};
        QTest::newRow("seam right") << Piece{12, {0}, 4, 48, kI, 8, none, 4, 2, false};
        QTest::newRow("neighbour's part") << Piece{24, {12, 13}, 2, 48, kO, 6, none, 2, 2, false};
        QTest::newRow("far beside a computer")
            << Piece{48, {16, 17}, 2, 48, kO, 6, none, 0, 0, false};
        QTest::newRow("far beside a person")
            << Piece{48, {16, 17}, 2, 48, kO, 6, personRight, 2, 2, false};
        QTest::newRow("level") << Piece{24, {5}, 2, 24, -1, 0, none, -1, 0, false};
        QTest::newRow("ahead") << Piece{24, {5}, 2, 12, -1, 0, none, 0, 0, true};
        QTest::newRow("ahead beside a person")
            << Piece{24, {5}, 2, 12, -1, 0, {true, false}, 0, 0, true};
    }
    void playsOnePiece() {
        QFETCH(Piece, c);
        Table table(c.width / 12);
        table.fillRows(c.rows, c.gaps, c.end);
        if (c.kind >= 0) {
            table.place(0, c.kind, c.startColumn, 12);
        }
        table.syncCopy();
        table.computer.setPart(c.width, 0, 12, c.neighbours);
        const qint64 start = table.clock.nowMs();
        const ComputerPlayer::Keys keys = table.playOnePiece();
        const qint64 took = table.clock.nowMs() - start;
        QVERIFY(c.lines < 0 || (table.sim.lines() == c.lines && table.mirror.lines() == c.lines));
        QVERIFY(c.side == 0 || (keys[c.side] > 0 && keys[5 - c.side] == 0));
        QCOMPARE(keys[slotIndex(KeySlot::Drop)], 1);
        // At speed 1 a piece falling on by itself takes far longer.
        QVERIFY2((took >= ComputerPlayer::kAheadWaitMs) == c.waits,
                 qPrintable(QString::number(took)));
    }

    // Catches plans through a teammate's block: on the way low down, or above the well.
    void neverPlansThroughAFallingBlock() {
        struct Case {
            int blockerKind, blockerColumn, blockerRow, blockerRotation, pieceRow;
            bool wellTaken;
        };
        for (const Case& c : {Case{kO, 19, 20, 0, 9, true},  // the teammate's block far away
                              Case{kI, 4, 8, 1, 9, false}, Case{kI, 4, 8, 1, 20, true},
                              Case{kO, 0, 8, 1, 20, false}}) {
            Table table(2);
            table.fillRows(4, {1});
            for (int r = 4; r < 16; ++r) {
                if (r < 8) {
                    fieldsetup::landBox(table.sim.field(), 5, r);
                }
                fieldsetup::landBox(table.sim.field(), 16, r);
            }
            // The vertical I covers frame column + 1: it stands in column 8.
            table.place(0, kI, 7, c.pieceRow, 1);
            table.place(1, c.blockerKind, c.blockerColumn, c.blockerRow, c.blockerRotation);
            table.syncCopy();
            table.computer.setPart(24, 0);
            QCOMPARE(table.plannedColumns(table.computer, 0, kI) == QList<int>{1}, c.wellTaken);
        }
    }

    // Catches fights over a teammate's claimed place; landed or own claims count no more.
    void leavesATeammatesPlaceToIt() {
        for (int claims : {0, 1, 2, 3}) {  // none, the teammate's, a landed piece's, its own
            Table table(2);
            table.fillRows(2, {12, 13});
            table.place(0, kO, 6, 12);
            table.place(1, kO, 17, 20);
            table.syncCopy();
            ComputerPlayer mate(ComputerSkill::Hard, 2);
            mate.setPart(24, 12);
            table.plannedColumns(mate, 1, kO);
            std::optional<PlacementPlanner::Claim> claim = mate.claim();
            QVERIFY(claim.has_value());
            QCOMPARE(columnsOf(kO, claim->rotation, claim->column, 24), (QList<int>{12, 13}));
            if (claims == 2) {
                claim->blockId = 9999;
            } else if (claims == 3) {
                claim->blockId = table.sim.player(0)->currentBlock()->id();
            }
            table.computer.setPart(24, 0);
            if (claims > 0) {
                table.computer.setTeamClaims({*claim});
            }
            QCOMPARE(table.plannedColumns(table.computer, 0, kO) == (QList<int>{12, 13}),
                     claims != 1);
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
        Table table(2);
        table.fillRows(2, {13, 14});
        table.place(1, kO, 12, 9);     // over the gap
        table.place(0, kI, 11, 2, 1);  // a teammate's upright I beside the gap, on the stack
        table.syncCopy();
        table.computer.setPart(24, 12);
        QList<int> teammate(10, 0);
        teammate[slotIndex(KeySlot::Right)] = 1;  // into the gap, first in the tick
        table.sim.processPlayerInput(0, KeyInput::fromList(teammate));
        table.playOnePiece(1);
        const auto landed = [&](int c, int r) {
            return table.sim.field().cell(c, r) == GameField::kFieldBlockId;
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

    // Catches the simulator's stand-ins for people taken for computers, across the seam too.
    void simulatorTakesNamedPlayersForPeople() {
        const std::vector<ComputerSkill> skills{ComputerSkill::Hard, ComputerSkill::Hard,
                                                ComputerSkill::Simple, ComputerSkill::Easy};
        const FieldRun named(48, 1, false, nullptr, skills, {false, false, false, true});
        QVERIFY(named.computer(2) == nullptr);
        QCOMPARE(named.computer(0)->neighbours(), (PartNeighbours{true, false}));
        QCOMPARE(named.computer(1)->neighbours(), (PartNeighbours{false, true}));
        QCOMPARE(named.computer(3)->neighbours(), (PartNeighbours{true, false}));
        const FieldRun unnamed(48, 1, false, nullptr, skills);
        QCOMPARE(unnamed.computer(0)->neighbours(), (PartNeighbours{false, false}));
    }

    void easyAndHardDiffer() {
        // The same pieces for both; a few hundred ticks of play.
        std::array<int, 2> pieces{};
        std::array<int, 2> presses{};
        const std::array<ComputerSkill, 2> skills{ComputerSkill::Easy, ComputerSkill::Hard};
        for (std::size_t i = 0; i < skills.size(); ++i) {
            FieldRun run(12, 3, false, nullptr, {skills[i]});
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
        QVERIFY(pieces[0] >= 2);
        QVERIFY(presses[1] > 2 * presses[0]);
    }
};

QTEST_GUILESS_MAIN(TestComputerPlayer)
#include "test_computerplayer.moc"
