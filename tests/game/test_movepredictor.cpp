// The own block moved at the press on a player's copy of the field: the server's place where the
// copy knows what the server knows, a counted correction where it does not, none when turned off.
#include <QTest>
#include <deque>
#include <functional>
#include <utility>

#include "game/fieldmirror.h"
#include "game/gamegrid.h"
#include "game/gamesimulation.h"
#include "game/movepredictor.h"
#include "tests/game/fieldsetup.h"

namespace {

constexpr int kTickMs = GameSimulation::kTickMs;

// The server reports a fall only when a block reaches another row.
int row(const GameBlock& b) {
    return GameGrid::rowFloor(b.y());
}

// A server and one client's copy with a few ticks of delay each way.
struct Link : GameEvents, fieldsetup::PlayingSim {
    FieldMirror mirror;
    MovePredictor predictor{mirror};
    int delayTicks = 3;
    int tickNo = 0;
    QList<int> keys = QList<int>(10, 0);
    bool loseInput = false;  // the next press never reaches the server
    std::deque<std::pair<int, std::function<void()>>> inFlight;

    // The own O in columns 5, 6, the other's at otherX; the copy starts as the server stands,
    // without the other block when hidden (a movement of it that never arrived).
    explicit Link(int otherX = -1, bool hidden = false) : PlayingSim(5) {
        start(2, this);
        predictor.setRoundTripMs(2 * delayTicks * kTickMs);
        fieldsetup::setBlock(sim, 0, 0, 200, 1000);
        if (otherX >= 0) {
            fieldsetup::setBlock(sim, 1, 0, otherX, 1000);
        }
        tick();
        inFlight.clear();
        mirror.startField(24, {});
        for (int slot = 0; slot < (hidden ? 1 : 2); ++slot) {
            mirror.addBlock(BlockRecord::of(block(slot)), 24);
        }
        mirror.moveBlocks({}, {ownId(), -1});
        predictor.processMovements({}, done(), clock.nowMs());
    }

    GameBlock& block(int slot) { return *sim.player(slot)->currentBlock(); }
    int ownId() { return block(0).id(); }
    const GameBlock& drawn() { return *mirror.block(ownId()); }

    // What the server carried out of the copy's player: its movements say so.
    QList<int> done() { return sim.keysDone().value(0).value_or(KeyInput{}).toList(); }

    void later(std::function<void()> f) { inFlight.emplace_back(tickNo + delayTicks, f); }

    void press(KeySlot key) {
        ++keys[int(slotIndex(key))];
        predictor.processInput(keys, clock.nowMs());
        if (!std::exchange(loseInput, false)) {
            later([this, k = keys] { sim.processPlayerInput(0, k); });
        }
    }

    void tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            ++tickNo;
            clock.advance(kTickMs);
            while (!inFlight.empty() && inFlight.front().first <= tickNo) {
                auto f = std::move(inFlight.front().second);
                inFlight.pop_front();
                f();
            }
            sim.mainLoop();
            predictor.advance(clock.nowMs());
        }
    }

    void newBlock(const GameBlock& b) override {
        later([this, r = BlockRecord::of(b)] { mirror.addBlock(r, 24); });
    }
    void blocksMoved(const QList<GameBlock*>& blocks, const QList<int>&) override {
        later([this, m = GameMovement::of(blocks), own = block(0).id(), d = done()] {
            mirror.moveBlocks(m, {own, -1});
            predictor.processMovements(m, d, clock.nowMs());
        });
    }
    void blocksMerged(const QList<GameBlock*>& blocks) override {
        later([this, m = GameMovement::of(blocks)] {
            mirror.mergeBlocks(m);
            predictor.processMerges();
        });
    }
    void gameOver(int, int, const QString&) override {}
};

// A copy driven by hand: the own blocks of both local players, O pieces, and
// the first player's next block parked; movements say what was carried out.
struct Copy {
    static constexpr int kNext = 5;
    FieldMirror mirror;
    MovePredictor predictor{mirror};
    QList<int> active{1, 2};

    explicit Copy(int firstColumn) {
        mirror.startField(24, {});
        mirror.addBlock({1, 1, 0, firstColumn * 50, 1000, 0}, 24);
        mirror.addBlock({2, 2, 0, 12 * 50, 1000, 0}, 24);
        mirror.addBlock({kNext, 1, 0, -500, -500, 0}, 24);
        serverSays({}, {});
    }
    // One press of key by local, shown at once; returns the counters sent.
    KeyInput press(int local, KeySlot key, qint64 nowMs = 0) {
        KeyInput sent;
        ++sent[local][slotIndex(key)];
        predictor.processInput(sent.toList(), nowMs);
        return sent;
    }
    void serverSays(const QList<GameMovement>& m, const KeyInput& done, qint64 nowMs = 0) {
        mirror.moveBlocks(m, active);
        predictor.processMovements(m, done.toList(), nowMs);
    }
    int column(int local) { return GameGrid::column(24, mirror.block(active[local])->x()); }
};

}  // namespace

class TestMovePredictor : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Steps, turns and falls show at the press, a step into the other block is refused by both
    // sides, and in the end the copy draws the server's place with nothing corrected.
    void ownMovesMatchTheServer() {
        Link l(350);  // the other O in columns 8, 9
        const int y = l.drawn().y();

        l.press(KeySlot::Right);
        QCOMPARE(l.drawn().x(), 250);  // at once, not a round trip later
        l.tick(4);
        l.press(KeySlot::Right);  // into the other block: refused
        QCOMPARE(l.drawn().x(), 250);
        l.tick(4);
        l.press(KeySlot::Rotate);
        QCOMPARE(l.drawn().rotation(), 1);
        l.press(KeySlot::Left);  // taken with the turn, as the server takes it
        l.press(KeySlot::Left);  // after the input delay
        QCOMPARE(l.drawn().x(), 200);
        l.tick(3);
        QCOMPARE(l.drawn().x(), 150);
        l.press(KeySlot::Down);
        QVERIFY(l.drawn().y() <= y - 50);
        l.tick(30);

        QCOMPARE(l.drawn().x(), l.block(0).x());
        QCOMPARE(row(l.drawn()), row(l.block(0)));
        QCOMPARE(l.drawn().rotation(), l.block(0).rotation());
        QCOMPARE(l.block(0).x(), 150);
        QCOMPARE(l.predictor.figures().moves, 5);
        QCOMPARE(l.predictor.figures().mispredictions, 0);
    }

    // A burst of steps and a drop: the server carries out the first step with the drop, and the
    // copy shows the block landing there at once.
    void burstDropsAfterTheFirstStep() {
        Link l;
        const int id = l.ownId();
        l.press(KeySlot::Left);
        l.press(KeySlot::Left);
        l.press(KeySlot::Drop);
        QCOMPARE(l.mirror.cell(4, 0), id);  // columns 4 and 5, on the floor
        QCOMPARE(l.mirror.cell(5, 1), id);
        l.tick(12);
        QVERIFY(l.ownId() != id);
        QVERIFY(l.sim.field().cell(4, 0) == GameField::kFieldBlockId &&
                l.sim.field().cell(5, 1) == GameField::kFieldBlockId);
        QVERIFY(l.mirror.landed(4, 0) && l.mirror.landed(5, 1) && !l.mirror.landed(3, 0));
        QCOMPARE(l.predictor.figures().mispredictions, 0);
    }

    // A step refused for a block the copy never heard of: the server's place shows once the
    // server says it carried the step out, and the correction is counted with its size.
    void serverPlaceWinsOverAWrongPrediction() {
        Link l(300, true);  // columns 7, 8, unknown to the copy
        l.press(KeySlot::Right);
        QCOMPARE(l.drawn().x(), 250);
        l.tick(2 * l.delayTicks - 1);
        QCOMPARE(l.drawn().x(), 250);  // not carried out yet, as far as the copy knows
        l.tick(2);
        QCOMPARE(l.block(0).x(), 200);
        QCOMPARE(l.drawn().x(), 200);
        QCOMPARE(row(l.drawn()), row(l.block(0)));
        QCOMPARE(l.predictor.figures().mispredictions, 1);
        QCOMPARE(l.predictor.figures().jumps, std::vector<int>{1});

        // Later presses are predicted afresh from the server's place.
        l.press(KeySlot::Left);
        QCOMPARE(l.drawn().x(), 150);
        l.tick(20);
        QCOMPARE(l.block(0).x(), 150);
        QCOMPARE(l.predictor.figures().mispredictions, 1);
    }

    // One press replayed on the server's last place until the server says it carried it out, for
    // either local player, across the seam, onto the next piece when it comes after a landing.
    void replaysWhatIsNotCarriedOut_data() {
        QTest::addColumn<int>("local");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("from");      // the block's column
        QTest::addColumn<bool>("carried");  // the server's next movement says so
        QTest::addColumn<bool>("landed");   // ... and deals the next piece at column 8
        QTest::addColumn<int>("server");    // its column in that movement
        QTest::addColumn<int>("shown");     // drawn at the press
        QTest::addColumn<int>("after");     // drawn after the movement
        QTest::addColumn<int>("corrections");
        const int right = int(KeySlot::Right);
        const int left = int(KeySlot::Left);
        QTest::newRow("step") << 0 << right << 5 << true << false << 6 << 6 << 6 << 0;
        QTest::newRow("wrap-around") << 0 << left << 0 << true << false << 23 << 23 << 23 << 0;
        QTest::newRow("second local player")
            << 1 << right << 12 << true << false << 13 << 13 << 13 << 0;
        QTest::newRow("refused") << 0 << right << 5 << true << false << 5 << 6 << 5 << 1;
        QTest::newRow("not yet") << 0 << right << 5 << false << false << 5 << 6 << 6 << 0;
        QTest::newRow("new piece, press on its way")
            << 0 << right << 5 << false << true << 8 << 6 << 9 << 0;
        QTest::newRow("carried out in the spawn tick")
            << 0 << right << 5 << true << true << 8 << 6 << 8 << 0;
    }
    void replaysWhatIsNotCarriedOut() {
        QFETCH(int, local);
        QFETCH(int, from);
        QFETCH(bool, carried);
        QFETCH(bool, landed);
        QFETCH(int, server);
        Copy c(from);
        const int other = c.column(1 - local);
        QFETCH(int, key);
        const KeyInput sent = c.press(local, KeySlot(key));
        QTEST(c.column(local), "shown");
        QCOMPARE(c.column(1 - local), other);

        GameMovement m{c.active[local], server * 50, 999, 0};
        if (landed) {
            c.mirror.mergeBlocks({GameMovement::of(*c.mirror.block(1))});
            c.predictor.processMerges();
            c.active[0] = Copy::kNext;
            m = {Copy::kNext, server * 50, 1300, 0};
        }
        c.serverSays({m}, carried ? sent : KeyInput{}, 100);
        QTEST(c.column(local), "after");
        QCOMPARE(c.column(1 - local), other);
        QTEST(c.predictor.figures().mispredictions, "corrections");
    }

    // The other block moves into the place of a shown step: it stands until the server says.
    void shownPressStandsUntilCarriedOut() {
        Copy c(5);
        const KeyInput sent = c.press(0, KeySlot::Right);
        c.serverSays({{2, 350, 1000, 0}}, {}, 50);  // the O of local 1, now in columns 7, 8
        QCOMPARE(c.column(0), 6);
        c.serverSays({{1, 300, 999, 0}}, sent, 100);
        QCOMPARE(c.column(0), 6);
        QCOMPARE(c.predictor.figures().mispredictions, 0);
    }

    // A new game's counters start from zero a countdown before the client resets: the last
    // game's presses are not replayed on the new blocks, the new game's first shows at once.
    void newGameStartsFromZero() {
        Copy c(5);
        const KeyInput sent = c.press(0, KeySlot::Right);
        c.serverSays({{1, 300, 999, 0}}, sent, 100);
        QCOMPARE(c.column(0), 6);

        c.mirror.startField(24, {});
        c.mirror.addBlock({1, 1, 0, 4 * 50, 1250, 0}, 24);
        c.serverSays({{1, 200, 1250, 0}}, {}, 200);
        QCOMPARE(c.column(0), 4);
        c.predictor.reset();
        c.press(0, KeySlot::Right, 300);
        QCOMPARE(c.column(0), 5);
        QCOMPARE(c.predictor.figures().mispredictions, 0);
    }

    // A press the server never heard of is given up after the round trip and a little; presses
    // of that key then wait for the server, which carries out the lost one with the next.
    void lostPressIsGivenUp() {
        Link l;
        l.loseInput = true;
        l.press(KeySlot::Right);
        QCOMPARE(l.drawn().x(), 250);
        l.tick((2 * l.delayTicks * kTickMs + MovePredictor::kSlackMs) / kTickMs + 1);
        QCOMPARE(l.drawn().x(), 200);
        QCOMPARE(l.predictor.figures().mispredictions, 1);
        l.press(KeySlot::Right);
        QCOMPARE(l.drawn().x(), 200);
        l.tick(4 * l.delayTicks);
        QCOMPARE(l.block(0).x(), 300);
        QCOMPARE(l.drawn().x(), 300);
        QCOMPARE(l.predictor.figures().mispredictions, 1);
    }

    // A paused or ended game takes no presses, and a drop shown before stays where it was drawn.
    void heldGameShowsNoPress() {
        Link l;
        l.press(KeySlot::Drop);
        const int dropped = l.drawn().y();
        l.predictor.setHeld(true);
        l.press(KeySlot::Right);
        QCOMPARE(l.drawn().x(), 200);
        // The game over came before the landing: no echo is overdue.
        l.predictor.advance(l.clock.nowMs() + 5000);
        QCOMPARE(l.drawn().y(), dropped);
        QCOMPARE(l.predictor.figures().mispredictions, 0);
        QCOMPARE(l.predictor.figures().moves, 1);
    }

    // Off, every movement puts the block exactly where the server has it, a delay earlier.
    void offShowsTheServerPlacesOnly() {
        Link l;
        l.press(KeySlot::Right);  // predicted, then prediction is turned off
        l.predictor.setEnabled(false);
        QCOMPARE(l.drawn().x(), 200);
        l.press(KeySlot::Rotate);
        QCOMPARE(l.drawn().rotation(), 0);
        QList<GameMovement> server;
        for (int i = 0; i < 20; ++i) {
            server << GameMovement::of(l.block(0));
            l.tick();
            const GameMovement& then = server.value(server.size() - l.delayTicks, server.first());
            QCOMPARE(l.drawn().x(), then.x);
            QCOMPARE(l.drawn().rotation(), then.rotation);
        }
        QCOMPARE(l.drawn().x(), 250);
        QCOMPARE(l.drawn().rotation(), 1);
        QCOMPARE(l.predictor.figures().moves, 1);
    }
};

QTEST_GUILESS_MAIN(TestMovePredictor)
#include "test_movepredictor.moc"
