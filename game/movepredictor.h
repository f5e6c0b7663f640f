#pragma once

#include <QList>
#include <array>
#include <deque>
#include <vector>

#include "blockrecords.h"
#include "fieldmirror.h"
#include "keyslot.h"

// Moves the local players' own blocks on a FieldMirror at the key press, by the
// field's own rules checked against the copy (the landed stack and the other
// players' falling blocks as last reported), instead of a round trip later.
// The server still decides: its movements of an own block confirm the presses
// they show, and one that shows something else, or a press the server has not
// shown within the round trip plus a little, is a misprediction, where the
// server's place wins and the queue of presses goes.
//
// The server's movements do not say which presses they have taken, so each
// press keeps the column and rotation it results in: a movement with the
// column and rotation of a queued press confirms it and all before it; one
// with those of the last confirmed place confirms nothing yet. A press of Down
// keeps the height it reaches and is confirmed once the server's block is as
// low. Gravity stays the server's: the drawn block falls with the server's.
//
// No timers and no sockets: the owner passes the time with each call.
class MovePredictor {
public:
    static constexpr int kLocalPlayers = 2;
    // Beyond the round trip a press may wait this long for its echo: the tick
    // that takes it and the delay of a datagram that comes a little late.
    static constexpr int kSlackMs = 100;
    // The server takes one press of a kind per input delay: each press queued
    // before another delays that one's echo by up to this much.
    static constexpr int kPerQueuedMs = 60;
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

    // The key counters as they go to the server (five per local player, in
    // KeySlot order): each new press moves the own block at once.
    void processInput(const QList<int>& counters, qint64 nowMs);
    // Call after the mirror took the movements: they hold the server's places.
    void processMovements(const QList<GameMovement>& movements);
    // Call after the mirror took merges: a removed row lowers own blocks too.
    void processMerges();
    // Gives up presses the server has not shown in time.
    void expire(qint64 nowMs);
    // A new game: nothing is waiting, the counters start from zero.
    void reset();

    const Figures& figures() const { return figures_; }

private:
    struct Place {
        int x = 0;
        int y = 0;
        int rotation = 0;
    };
    struct Shift {  // a turn or a side step
        int x;
        int rotation;
        qint64 deadline;
    };
    struct Down {
        int y;
        qint64 deadline;
    };
    struct Own {
        int blockId = -1;
        Place server;  // where the server last put the block
        Place drawn;   // where the copy shows it
        int baseX = 0;
        int baseRotation = 0;
        std::deque<Shift> shifts;
        std::deque<Down> downs;
        bool dropped = false;
        int dropY = 0;
        qint64 dropDeadline = 0;

        bool waiting() const { return !shifts.empty() || !downs.empty() || dropped; }
    };

    void follow(int local);
    void press(int local, KeySlot key, qint64 nowMs);
    void reconcile(Own& own, const GameMovement& m);
    void mispredicted(Own& own);
    void forget(Own& own);
    void show(Own& own);
    Place predicted(const Own& own, const GameBlock& block) const;
    int distance(const Place& a, const Place& b) const;
    qint64 deadline(const Own& own, qint64 nowMs) const;

    FieldMirror& mirror_;
    bool enabled_ = true;
    int roundTripMs_ = kDefaultRoundTripMs;
    QList<int> counters_;
    std::array<Own, kLocalPlayers> own_;
    Figures figures_;
};
