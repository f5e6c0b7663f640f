// The own block moved at the press on a player's copy, corrected (and counted) to the server's
// place.
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

// Column, row and turn: the server reports a fall only when a block reaches another row.
QList<int> place(const GameBlock& b) {
    return {b.x(), GameGrid::rowFloor(b.y()), b.rotation()};
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

    // The own O in columns 5, 6, the other's at otherX.
    explicit Link(int otherX = -1) : PlayingSim(5) {
        start(2, this);
        predictor.setRoundTripMs(2 * delayTicks * kTickMs);
        fieldsetup::setBlock(sim, 0, 0, 200, 1000);
        if (otherX >= 0) {
            fieldsetup::setBlock(sim, 1, 0, otherX, 1000);
        }
        tick();
        inFlight.clear();
        mirror.startField(24, {});
        mirror.addBlock(BlockRecord::of(block(0)), 24);
        mirror.addBlock(BlockRecord::of(block(1)), 24);
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
        predictor.processInput(KeyInput::fromList(keys), clock.nowMs());
        if (!std::exchange(loseInput, false)) {
            later([this, k = keys] { sim.processPlayerInput(0, KeyInput::fromList(k)); });
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

// A copy driven by hand: both local players' O pieces and the first one's next block parked.
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
        predictor.processInput(sent, nowMs);
        return sent;
    }
    void serverSays(const QList<GameMovement>& m, const KeyInput& done, qint64 nowMs = 0) {
        mirror.moveBlocks(m, active);
        predictor.processMovements(m, done.toList(), nowMs);
    }
    int column(int local) { return GameGrid::column(24, mirror.block(active[local])->x()); }
};

// A press from column from; carried: the server's next movement says so, landed: and deals the
// next piece, at column server; the block is drawn at shown, then after.
struct Replay {
    int local;
    KeySlot key;
    int from;
    bool carried, landed;
    int server, shown, after, corrections;
};

}  // namespace

Q_DECLARE_METATYPE(Replay)

class TestMovePredictor : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Steps, turns, falls and drops show at the press, one into the other block is refused by both
    // sides.
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

        QCOMPARE(place(l.drawn()), place(l.block(0)));
        QCOMPARE(l.block(0).x(), 150);
        QCOMPARE(l.predictor.figures().moves, 5);

        // Of a burst of steps and a drop the server carries out the first step: shown landing at
        // once, in columns 3 and 4.
        const int id = l.ownId();
        l.press(KeySlot::Left);
        l.press(KeySlot::Left);
        l.press(KeySlot::Drop);
        QVERIFY(l.mirror.cell(3, 0) == id && l.mirror.cell(4, 1) == id);
        l.tick(12);
        QVERIFY(l.ownId() != id);
        QVERIFY(l.sim.field().cell(3, 0) == GameField::kFieldBlockId &&
                l.sim.field().cell(4, 1) == GameField::kFieldBlockId);
        QVERIFY(l.mirror.landed(3, 0) && l.mirror.landed(4, 1) && !l.mirror.landed(2, 0));
        QCOMPARE(l.predictor.figures().mispredictions, 0);
    }

    // One press replayed on the server's last place until carried out: either local player, across
    // the seam, onto the next piece dealt after a landing.
    void replaysWhatIsNotCarriedOut_data() {
        QTest::addColumn<Replay>("c");
        const KeySlot right = KeySlot::Right;
        QTest::newRow("step") << Replay{0, right, 5, true, false, 6, 6, 6, 0};
        QTest::newRow("wrap-around") << Replay{0, KeySlot::Left, 0, true, false, 23, 23, 23, 0};
        QTest::newRow("second local player") << Replay{1, right, 12, true, false, 13, 13, 13, 0};
        QTest::newRow("refused") << Replay{0, right, 5, true, false, 5, 6, 5, 1};
        QTest::newRow("not yet") << Replay{0, right, 5, false, false, 5, 6, 6, 0};
        QTest::newRow("new piece, press on its way")
            << Replay{0, right, 5, false, true, 8, 6, 9, 0};
        QTest::newRow("carried in the spawn tick") << Replay{0, right, 5, true, true, 8, 6, 8, 0};
    }
    void replaysWhatIsNotCarriedOut() {
        QFETCH(Replay, c);
        Copy copy(c.from);
        const int other = copy.column(1 - c.local);
        const KeyInput sent = copy.press(c.local, c.key);
        QCOMPARE(copy.column(c.local), c.shown);
        QCOMPARE(copy.column(1 - c.local), other);

        GameMovement m{copy.active[c.local], c.server * 50, 999, 0};
        if (c.landed) {
            copy.mirror.mergeBlocks({GameMovement::of(*copy.mirror.block(1))});
            copy.predictor.processMerges();
            copy.active[0] = Copy::kNext;
            m = {Copy::kNext, c.server * 50, 1300, 0};
        }
        copy.serverSays({m}, c.carried ? sent : KeyInput{}, 100);
        QCOMPARE(copy.column(c.local), c.after);
        QCOMPARE(copy.column(1 - c.local), other);
        QCOMPARE(copy.predictor.figures().mispredictions, c.corrections);
        // A correction jumps back a column, and the server's block is a row lower.
        QCOMPARE(copy.predictor.figures().jumps, std::vector<int>(std::size_t(c.corrections), 2));
    }

    // The other block moves into the place of a shown step: it stands until the server says.
    void shownPressStandsUntilCarriedOut() {
        Copy c(5);
        const KeyInput sent = c.press(0, KeySlot::Right);
        c.serverSays({{2, 350, 1000, 0}}, {}, 50);  // the O of local 1, now in columns 7, 8
        QCOMPARE(c.column(0), 6);
        c.serverSays({{1, 300, 999, 0}}, sent, 100);
        QCOMPARE((QList{c.column(0), c.predictor.figures().mispredictions}), (QList{6, 0}));
    }

    // A server that said its counters once leaves them out while they stand: a shown press
    // waits for them. Another server is learnt anew: until it says, nothing is shown ahead.
    void countersLeftOutStand() {
        const auto fall = [](Copy& c, int column, qint64 nowMs) {
            const QList<GameMovement> m{{1, column * 50, 999, 0}};
            c.mirror.moveBlocks(m, c.active);
            c.predictor.processMovements(m, {}, nowMs);
        };
        Copy c(5);
        KeyInput sent = c.press(0, KeySlot::Right);
        fall(c, 5, 50);
        QCOMPARE(c.column(0), 6);
        c.serverSays({{1, 300, 998, 0}}, sent, 100);
        // Once said, counters left out stand for those last said, not for zeros.
        ++sent[0][slotIndex(KeySlot::Right)];
        c.predictor.processInput(sent, 120);
        fall(c, 6, 150);
        QCOMPARE(c.column(0), 7);
        c.serverSays({{1, 350, 997, 0}}, sent, 200);
        QCOMPARE(c.column(0), 7);
        QCOMPARE(c.predictor.figures().mispredictions, 0);

        Copy other(5);
        other.predictor.forgetServer();
        other.press(0, KeySlot::Right);
        QCOMPARE(other.column(0), 5);
    }

    // Counters start from zero before the client resets: old presses are not replayed on new
    // blocks.
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
        QCOMPARE((QList{c.column(0), c.predictor.figures().mispredictions}), (QList{5, 0}));
    }

    // A press the server never heard of is given up after the round trip; that key then waits.
    void lostPressIsGivenUp() {
        Link l;
        l.loseInput = true;
        l.press(KeySlot::Right);
        QCOMPARE(l.drawn().x(), 250);
        l.tick((2 * l.delayTicks * kTickMs + MovePredictor::kSlackMs) / kTickMs + 1);
        QCOMPARE((QList{l.drawn().x(), l.predictor.figures().mispredictions}), (QList{200, 1}));
        l.press(KeySlot::Right);
        QCOMPARE(l.drawn().x(), 200);
        l.tick(4 * l.delayTicks);
        QCOMPARE((QList{l.block(0).x(), l.drawn().x(), l.predictor.figures().mispredictions}),
                 (QList{300, 300, 1}));
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
        QCOMPARE((QList{l.drawn().y(), l.predictor.figures().mispredictions,
                        l.predictor.figures().moves}),
                 (QList{dropped, 0, 1}));
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
            QCOMPARE((QList{l.drawn().x(), l.drawn().rotation()}), (QList{then.x, then.rotation}));
        }
        QCOMPARE((QList{l.drawn().x(), l.drawn().rotation(), l.predictor.figures().moves}),
                 (QList{250, 1, 1}));
    }
};

QTEST_GUILESS_MAIN(TestMovePredictor)
#include "test_movepredictor.moc"
