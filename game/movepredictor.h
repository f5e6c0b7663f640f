#pragma once

#include <QList>
#include <array>
#include <deque>
#include <vector>

#include "blockrecords.h"
#include "fieldmirror.h"
#include "gamesimulation.h"
#include "keyinput.h"
#include "movestep.h"

// Moves the local players' own blocks on a FieldMirror at the key press, by the
// server's own move step (stepKeys) checked against the copy (the landed stack
// and the other players' falling blocks as last reported), instead of a round
// trip later. Presses are let out as the server paces them, one of each kind
// per input delay, so that a burst of presses shows as the server will carry
// it out.
//
// The server still decides. Each of its movements says which presses it has
// carried out for the local players (their key counters); the drawn block is
// the server's last place with the presses it has not carried out yet
// replayed on top, at each press and each time the server carries one out;
// in between what was shown stands, whatever the other blocks on the copy
// did meanwhile. A replay that lands elsewhere than the block was drawn is
// a misprediction; so is a press the server has not carried out within the
// round trip and a little: then the server's place wins, and presses of that
// key wait for the server before they show again. Gravity stays the server's:
// the drawn block falls with the server's. A server whose movements do not
// say what it carried out gets no prediction: the copy shows its places.
//
// No timers and no sockets: the owner passes the time with each call.
class MovePredictor {
public:
    // Beyond the round trip (or the slowest echo of late) a press may wait
    // this long to be carried out: the tick that takes it and a late datagram.
    static constexpr int kSlackMs = 100;
    // Presses this soon after a window opened most likely reach the server
    // before the tick that carries the window out: they join it.
    static constexpr int kJoinMs = 10;
    // The server's input delay: after a press is carried out, the next one of
    // any kind waits this long.
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
    // none is let out, and what was shown waits where it is drawn.
    void setHeld(bool held);

    // The key counters as they go to the server (five per local player, in
    // KeySlot order): each new press moves the own block at once.
    void processInput(const KeyInput& sent, qint64 nowMs);
    // Call after the mirror took the movements: they hold the server's
    // places, keysDone the ten counters it carried out. Empty: not said; a
    // server that has said them once leaves them out while they stand.
    void processMovements(const QList<GameMovement>& movements, const QList<int>& keysDone,
                          qint64 nowMs);
    // Call after the mirror took merges: a removed row lowers own blocks too.
    void processMerges();
    // Lets out presses whose turn has come and gives up those the server has
    // not carried out in time. Called often (every frame).
    void advance(qint64 nowMs);
    // A new game: nothing is waiting, the counters start from zero.
    void reset();
    // Another server: whether it says what it carried out is learnt anew.
    void forgetServer() { acknowledged_ = false; }

    const Figures& figures() const { return figures_; }
    // Whether presses wait to be let out or for the server: then advance may
    // still move a block with no message coming in.
    bool busy() const;

private:
    struct Own {
        int blockId = -1;
        BlockPlace server;  // where the server last put the block
        BlockPlace drawn;   // where the copy shows it
        KeyCounts shown{};  // presses let out on the copy
        // After a give-up, presses of a key wait until the server has
        // carried out this many.
        KeyCounts heldBack{};
        // When each press shown and not carried out yet was let out.
        std::array<std::deque<qint64>, kKeySlots> unconfirmed;
        qint64 nextWindowMs = 0;
        qint64 windowMs = -kInputDelayMs;  // when the last window opened
        unsigned windowKinds = 0;          // the kinds it let out

        void forgetUnconfirmed() {
            for (auto& d : unconfirmed) {
                d.clear();
            }
        }
        // Its place is the server's again: presses show once the server has
        // carried out those sent so far.
        void waitForServer(const KeyCounts& done, const KeyCounts& sent) {
            shown = done;
            heldBack = sent;
            forgetUnconfirmed();
        }
    };

    // Whether the local player's block changed.
    bool follow(int local);
    bool releasable(int local) const;
    void release(int local, qint64 nowMs);
    int take(int local, qint64 windowMs);
    bool confirm(int local, const KeyCounts& done, qint64 nowMs);
    void giveUpLate(int local, qint64 nowMs);
    // Shows the server's place with what it has not carried out replayed;
    // a place the replay moved away from is counted when misprediction says.
    void show(int local, bool misprediction);
    BlockPlace replayed(int local, const GameBlock& block) const;
    // Moves the copy's block to where the local player's is drawn.
    void draw(int local);
    qint64 allowanceMs() const;
    int distance(const BlockPlace& a, const BlockPlace& b) const;

    FieldMirror& mirror_;
    bool enabled_ = true;
    bool held_ = false;
    bool acknowledged_ = false;  // this server says what it carried out
    int roundTripMs_ = kDefaultRoundTripMs;
    // The longest echo of late, slowly forgotten: a busy server or network
    // takes longer than its ping says, and a press must not be given up
    // while its echo is merely slow.
    qint64 slowEchoMs_ = 0;
    KeyInput sent_;
    KeyInput done_;
    std::array<Own, kLocalPlayers> own_;
    Figures figures_;
};
