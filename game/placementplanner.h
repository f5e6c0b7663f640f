#pragma once

#include <memory>
#include <vector>

#include "boardevaluation.h"
#include "fieldboard.h"
#include "movesearch.h"

// Weighs every placement the current piece can reach and, when asked, the
// best answer of the next piece to each of the most promising ones. Knows
// nothing of keys or time beyond what the search is told.
class PlacementPlanner {
public:
    // Stages of the next piece that are weighed: the best few of the first.
    static constexpr std::size_t kLookaheadCandidates = 10;
    // Columns beyond each side of the own part where a piece may still go.
    static constexpr int kNeighbourColumns = 3;
    // Into the part of a person: half a part, so that the computers on both
    // sides of a person who falls behind reach every column of it between them.
    static constexpr int kPersonColumns = 6;

    // Where another computer's falling piece is headed (its frame column and
    // rotation); it is dropped there from above.
    struct Claim {
        int blockId = 0;
        int kind = 0;
        int rotation = 0;
        int column = 0;
    };
    struct Situation {
        MoveSearch::Start piece;
        MoveSearch::Timing timing;
        int nextKind = -1;  // -1: not known
        int nextRotation = 0;
        std::vector<Claim> claims;
    };
    struct Choice {
        int rotation = 0;
        int column = 0;  // frame column
        int landingRow = 0;
        double score = 0.0;
    };

    explicit PlacementPlanner(const BoardEvaluation::Weights& weights = {});

    // The part of a ring of width columns the player answers for, and how
    // far its pieces may go into the part on its left (lower columns) and on
    // its right.
    void setPart(int width, int firstColumn, int columns, int reachLeft = kNeighbourColumns,
                 int reachRight = kNeighbourColumns);
    const PieceMasks& masks() const { return *masks_; }
    const BoardEvaluation& evaluation() const { return evaluation_; }
    // The columns where its pieces may go.
    std::uint64_t window() const { return window_; }

    // Every reachable placement inside the own part and its neighbourhood,
    // best first; empty when nothing can be reached.
    std::vector<Choice> rank(const FieldBoard& board, const Situation& s, bool lookahead) const;

private:
    // Claims of a known kind, turned and placed on this ring.
    void landClaims(FieldBoard& board, const std::vector<Claim>& claims) const;
    double bestAnswer(const FieldBoard& board, const Situation& s, int spawnColumn) const;
    BoardEvaluation::Placement facts(const FieldBoard& before, int kind, int rotation, int column,
                                     int landingRow, int cleared, int speed,
                                     std::uint64_t claimed) const;

    BoardEvaluation evaluation_;
    std::unique_ptr<PieceMasks> masks_;
    std::uint64_t window_ = ~std::uint64_t{0};
};
