#pragma once

#include <QtGlobal>
#include <array>
#include <cstdint>
#include <optional>

#include "computerskill.h"
#include "gameplayer.h"
#include "gamesimulation.h"
#include "keyinput.h"
#include "placementplanner.h"
#include "randomsource.h"

class FieldMirror;

// Which of the parts beside a computer's own a person plays (or nobody): it
// helps there further than beside another computer.
struct PartNeighbours {
    bool leftPerson = false;  // the part below its first column
    bool rightPerson = false;
    friend bool operator==(const PartNeighbours&, const PartNeighbours&) = default;
};

// A computer player that plays through the keys a person has. It looks at a
// client's copy of the field, plans where the piece goes and how to get there,
// and turns the plan into presses of the five keys, one press (a turn and a
// step together at most) at a time, as fast as its skill allows. Before every
// press it checks the way again from where the piece really is: when the
// stack changed under it or another block moved into the way it plans anew.
// Time is what the caller says it is, so the same calls give the same presses.
class ComputerPlayer {
public:
    using Keys = KeyCounts;  // presses to add, per key
    // The player's key counters as the caller knows them: those sent to the
    // server, and those the server says it has carried out.
    struct Counters {
        KeyCounts sent{};
        KeyCounts done{};
    };
    static constexpr int kTickMs = GameSimulation::kTickMs;
    // The server carries out a press every this many ticks at most.
    static constexpr int kServerPressTicks = GameSimulation::kInputDelayTicks;
    // A press the server has not carried out for this long is looked at
    // again from where the piece stands: a step the stack refuses stays
    // pending on the server, and a datagram may be lost.
    static constexpr int kEchoTimeoutMs = 150;
    // How far a falling block's boxes can get sideways in one tick: a turn
    // inside its frame and a step.
    static constexpr int kBlockReachColumns = 2;
    // A player whose part stands this many rows above the ring's mean waits
    // before it drops: every row waits for the lowest part, so one who keeps
    // ahead only builds its own part up, and faster still as its pieces fall
    // less far. Falling on by themselves its pieces give the others time to
    // catch up. From speed 25 on a piece is down before the wait is over; in a
    // slow game the wait ends, so a piece never hangs in the air for long.
    // Beside a person it matters most: a person places pieces far more slowly
    // than a computer, and rows clear at the person's pace.
    static constexpr double kAheadRows = 0.5;
    static constexpr int kAheadWaitMs = 1000;

    ComputerPlayer(ComputerSkill skill, std::uint32_t seed,
                   const BoardEvaluation::Weights& weights = {});

    using Neighbours = PartNeighbours;

    // Its part of a ring fieldsizeX columns wide.
    void setPart(int fieldsizeX, int firstColumn, int columns = GameField::kColumnsPerPlayer,
                 Neighbours neighbours = {});
    // Forgets the piece in play (a new game starts).
    void reset();

    // The presses to make now for the block blockId of the copy, falling at
    // speed units per tick; nowMs only ever grows. A press waits until the
    // server has carried out the last one (counters). Without mayPlan a plan
    // it needs is not made: it presses nothing and waits (waitingToPlan).
    Keys think(const FieldMirror& mirror, int blockId, int speed, qint64 nowMs,
               const Counters& counters, bool mayPlan = true);
    // The last think needed a plan it was not allowed to make.
    bool waitingToPlan() const { return waiting_; }
    // When its next press is due: a plan made by then costs the piece nothing.
    qint64 pressDueMs() const { return readyAt(); }

    ComputerSkill skill() const { return skill_; }
    const SkillProfile& profile() const { return profile_; }
    // Plans made so far, new pieces and plans made anew alike.
    int decisions() const { return decisions_; }
    // Where the piece in play is headed; valid while hasTarget.
    bool hasTarget() const { return hasTarget_; }
    const PlacementPlanner::Choice& target() const { return target_; }
    const Neighbours& neighbours() const { return neighbours_; }
    // Where the piece in play is headed, for the other computers of the team.
    std::optional<PlacementPlanner::Claim> claim() const;
    // Where the team's computers' pieces are headed: their places are taken.
    // Its own piece's claim, among them, is passed over.
    void setTeamClaims(std::vector<PlacementPlanner::Claim> claims) { claims_ = std::move(claims); }

private:
    PlacementPlanner::Situation situation(const FieldMirror& mirror, const GameBlock& block,
                                          int speed, qint64 nowMs) const;
    // When the next press may be made.
    qint64 readyAt() const;
    void setPlannerPart(int fieldsizeX);
    void plan(const FieldBoard& board, const PlacementPlanner::Situation& s);
    void startPiece(const GameBlock& block, qint64 nowMs);
    // Whether the last press is still on its way to the server.
    bool awaitingServer(const Counters& counters, qint64 nowMs);
    // The search node of the target, planned (anew) where it must be; -1 when
    // there is nothing to press now.
    int findTarget(MoveSearch& search, const FieldBoard& board,
                   const PlacementPlanner::Situation& s, qint64 nowMs, bool mayPlan);
    // At the target: the drop, once the way down is clear and the wait is over.
    Keys dropWhenClear(const FieldBoard& board, const GameBlock& block, qint64 nowMs);
    // The first press on the way to the target's search node.
    Keys pressToward(const MoveSearch& search, int node, const FieldBoard& board,
                     const GameBlock& block, const Counters& counters, qint64 nowMs);
    // Whether its part stands kAheadRows above the ring's mean.
    bool aheadOfTeam(const FieldBoard& board) const;
    // Whether another falling block has a box in the rows from the target's
    // lowest box up to toRow, close enough to the columns of the target to
    // step or turn into them.
    bool blockNearTarget(const FieldBoard& board, int kind, int toRow) const;

    ComputerSkill skill_;
    SkillProfile profile_;
    RandomSource random_;
    PlacementPlanner planner_;
    int first_ = 0;
    int columns_ = GameField::kColumnsPerPlayer;
    Neighbours neighbours_;
    int decisions_ = 0;

    std::vector<PlacementPlanner::Claim> claims_;
    int pieceId_ = -1;
    int pieceKind_ = -1;
    qint64 pieceSeenMs_ = 0;
    bool planned_ = false;  // a plan made for this piece
    bool waiting_ = false;
    int pickRank_ = 0;  // 0 the best placement, more for a weaker one
    bool hasTarget_ = false;
    PlacementPlanner::Choice target_;
    std::uint64_t stackSignature_ = 0;
    bool anyPress_ = false;  // lastPressMs_ holds a press of this game
    bool pressPending_ = false;
    qint64 lastPressMs_ = 0;
    KeyCounts pressedTo_{};  // the counters once the last press is carried out
    qint64 arrivedMs_ = -1;
    bool dropped_ = false;
};
