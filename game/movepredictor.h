#pragma once

#include <QList>
#include <array>
#include <deque>
#include <vector>

#include "blockrecords.h"
#include "fieldmirror.h"
#include "gamesimulation.h"
#include "keyslot.h"

// Moves the local players' own blocks on a FieldMirror at the key press, by the
// field's own rules checked against the copy (the landed stack and the other
// players' falling blocks as last reported), instead of a round trip later.
// Presses are paced as the server paces them, one of each kind per input
// delay and in the server's order within one, so that a burst of presses
// shows as the server will carry it out, a drop pressed among steps included.
//
// The server still decides. Its movements of an own block do not say which
// presses they have taken; a movement whose turn and column some number of
// the waiting turns and steps (of each kind the oldest) reach confirms those,
// one that none reach is a misprediction, and so is a press the server has
// not shown within the round trip and a little: then the server's place wins
// and what waits for it goes. A press of Down keeps the height it reaches and
// is confirmed once the server's block is as low. Gravity stays the server's:
// the drawn block falls with the server's.
//
// No timers and no sockets: the owner passes the time with each call.
class MovePredictor {
public:
    static constexpr int kLocalPlayers = 2;
    // Beyond the round trip (or the slowest echo of late) a press may wait
    // this long for its echo: the tick that takes it and a late datagram.
    static constexpr int kSlackMs = 100;
    // The server's input delay: after a press is carried out, the next one of
    // any kind waits this long.
    // Presses this soon after a window opened most likely reach the server
    // before the tick that carries the window out: they join it.
    static constexpr int kJoinMs = 10;
    static constexpr int kInputDelayMs = GameSimulation::kInputDelayTicks * GameSimulation::kTickMs;
    // Without a measured ping the round trip is taken to be this long.
    static constexpr int kDefaultRoundTripMs = 200;

    struct Figures {
        int moves = 0;           // presses moved at once
        int mispredictions = 0;  // places the server corrected
        std::vector<int> jumps;  // cells the drawn block moved at each correction
    };

    explicit MovePredictor(FieldMirror& mirror);
    ~MovePredictor();
    MovePredictor(const MovePredictor&) = delete;
    MovePredictor& operator=(const MovePredictor&) = delete;

    // Off, the own blocks go back to the server's places and stay there: the
    // copy then shows exactly what the server reported.
    void setEnabled(bool on);
    bool enabled() const { return enabled_; }
    void setRoundTripMs(int ms);
    // While the game stands (paused, over) the server takes no presses:
    // nothing is moved, and what waited is let go where it is drawn.
    void setHeld(bool held);

    // The key counters as they go to the server (five per local player, in
    // KeySlot order): each new press moves the own block at once.
    void processInput(const QList<int>& counters, qint64 nowMs);
    // Call after the mirror took the movements: they hold the server's places.
    void processMovements(const QList<GameMovement>& movements, qint64 nowMs);
    // Call after the mirror took merges: a removed row lowers own blocks too.
    void processMerges();
    // Carries out presses whose turn has come and gives up those the server
    // has not shown in time. Called often (every frame).
    void advance(qint64 nowMs);
    // A new game: nothing is waiting, the counters start from zero.
    void reset();

    const Figures& figures() const { return figures_; }
    // Whether presses wait to be carried out or for the server's word: then
    // advance may still move a block with no message coming in.
    bool busy() const;

private:
    struct Place {
        int x = 0;
        int y = 0;
        int rotation = 0;
        friend bool operator==(const Place&, const Place&) = default;
    };
    struct Down {
        int y;
        qint64 shownMs;
    };
    struct Own {
        int blockId = -1;
        Place server;   // where the server last put the block
        Place drawn;    // where the copy shows it
        int baseX = 0;  // the server's column and turn before the waiting moves
        int baseRotation = 0;
        // Presses not carried out yet, per kind, and when the next may be.
        std::array<int, kKeySlots> pressed{};
        qint64 nextWindowMs = 0;
        qint64 windowMs = -kInputDelayMs;  // when the last window opened
        unsigned windowKinds = 0;          // the kinds it took
        // Moves shown and not yet seen from the server: when they were shown.
        std::deque<qint64> turns;
        std::deque<qint64> rights;
        std::deque<qint64> lefts;
        std::deque<Down> downs;
        bool dropped = false;
        int dropY = 0;
        qint64 dropShownMs = 0;

        bool waiting() const {
            return !turns.empty() || !rights.empty() || !lefts.empty() || !downs.empty() || dropped;
        }
    };

    void follow(int local);
    void carryOut(Own& own, qint64 nowMs);
    bool move(Own& own, KeySlot key, qint64 shownMs);
    void confirmed(qint64 shownMs, qint64 nowMs);
    qint64 allowanceMs() const;
    bool take(Own& own, qint64 windowMs);
    void reconcile(Own& own, const GameMovement& m, qint64 nowMs);
    void mispredicted(Own& own);
    void forget(Own& own);
    void show(Own& own);
    Place predicted(const Own& own, const GameBlock& block) const;
    int distance(const Place& a, const Place& b) const;

    FieldMirror& mirror_;
    bool enabled_ = true;
    bool held_ = false;
    int roundTripMs_ = kDefaultRoundTripMs;
    // The longest echo of late, slowly forgotten: a busy server or network
    // takes longer than its ping says, and a press must not be given up
    // while its echo is merely slow.
    qint64 slowEchoMs_ = 0;
    QList<int> counters_;
    std::array<Own, kLocalPlayers> own_;
    Figures figures_;
};
