#pragma once

#include <cstdint>

#include "fieldboard.h"

// Scores a landed stack and the placement that led to it with weighted
// features: higher is better. A player's own part of the ring is what it
// answers for, so cooperation terms weigh boxes put outside it and boxes put
// under a teammate's falling block.
class BoardEvaluation {
public:
    struct Weights {
        double landingHeight = -4.5;
        // Fast pieces reach less: every speed step above 1 adds this share of
        // the landing height weight, so high landings cost more.
        double landingBySpeed = 0.04;
        double rowsCleared = 3.4;
        double rowTransitions = -6.0;
        double columnTransitions = -9.3;
        // A hole blocks its row for every player until the rows above it go:
        // far worse than in a game alone.
        double holes = -80.0;
        double holeDepth = -10.0;  // boxes stacked above a hole
        double wells = -6.0;
        double bumpiness = -0.5;
        double height = -0.2;            // the own part's boxes count, per row of height
        double dangerHeight = -12.0;     // per row above dangerRow, squared
        int dangerRow = 14;              // a stack above this slows every path down
        double outsideBox = -6.0;        // a box outside the own part that clears nothing
        double underOtherBlock = -12.0;  // a box under a teammate's falling block
        double ownRowFilled = 0.0;       // a row whose own part is full waits for the others
        // A box in a column another computer's piece is headed for: the one
        // that comes second is refused on its way and lands where it can.
        double claimedColumns = -30.0;
    };

    // Facts about one placement that the stack alone does not show.
    struct Placement {
        int landingRow = 0;  // middle of the piece's boxes
        int speed = 1;
        int rowsCleared = 0;
        int outsideBoxes = 0;
        bool underOtherBlock = false;
        bool claimedColumns = false;
    };

    BoardEvaluation() = default;
    explicit BoardEvaluation(const Weights& weights) : weights_(weights) {}

    // The part of the ring the player answers for (the whole ring when it is
    // as wide as the field).
    void setPart(int width, int firstColumn, int columns);
    std::uint64_t partMask() const { return part_; }
    const Weights& weights() const { return weights_; }

    double stackScore(const FieldBoard& board) const;
    double placementScore(const Placement& p) const;

private:
    Weights weights_;
    std::uint64_t part_ = ~std::uint64_t{0};
};
