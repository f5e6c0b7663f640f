#include "boardevaluation.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>

void BoardEvaluation::setPart(int width, int firstColumn, int columns) {
    const FieldBoard ring(width);
    columns = std::clamp(columns, 1, ring.width());
    const std::uint64_t low = columns >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << columns) - 1;
    const int first = ((firstColumn % ring.width()) + ring.width()) % ring.width();
    part_ = ring.rotate(low, first);
}

double BoardEvaluation::stackScore(const FieldBoard& board) const {
    const int width = board.width();
    const std::uint64_t full = board.fullMask();
    std::array<int, GameField::kMaxColumns> heights{};
    std::uint64_t seen = 0;
    int holes = 0;
    int holeDepth = 0;
    int rowTransitions = 0;
    int columnTransitions = countBits(~board.landedRow(0) & full);  // the floor is solid
    int ownRowsFilled = 0;
    int top = FieldBoard::kFieldRows - 1;
    while (top > 0 && board.landedRow(top) == 0) {
        --top;
    }
    for (int row = top; row >= 0; --row) {
        const std::uint64_t r = board.landedRow(row);
        for (std::uint64_t fresh = r & ~seen; fresh != 0; fresh &= fresh - 1) {
            heights[static_cast<std::size_t>(std::countr_zero(fresh))] = row + 1;
        }
        seen |= r;
        const std::uint64_t holesHere = seen & ~r;
        holes += countBits(holesHere);
        for (std::uint64_t h = holesHere; h != 0; h &= h - 1) {
            holeDepth += heights[static_cast<std::size_t>(std::countr_zero(h))] - row - 1;
        }
        if (r != 0 && r != full) {
            rowTransitions += countBits(r ^ board.rotate(r, 1));
        }
        columnTransitions += countBits(r ^ board.landedRow(row + 1));
        ownRowsFilled += (r & part_) == part_ && r != full ? 1 : 0;
    }
    int wells = 0;
    int bumpiness = 0;
    int ownHeight = 0;
    int ownMax = 0;
    for (int c = 0; c < width; ++c) {
        const int h = heights[static_cast<std::size_t>(c)];
        const int left = heights[static_cast<std::size_t>((c + width - 1) % width)];
        const int right = heights[static_cast<std::size_t>((c + 1) % width)];
        const int depth = std::min(left, right) - h;
        wells += depth > 0 ? depth * (depth + 1) / 2 : 0;
        bumpiness += std::abs(h - right);
        if ((part_ >> c) & 1U) {
            ownHeight += h;
            ownMax = std::max(ownMax, h);
        }
    }
    const int danger = std::max(0, ownMax - weights_.dangerRow);
    const Weights& w = weights_;
    return w.rowTransitions * rowTransitions + w.columnTransitions * columnTransitions +
           w.holes * holes + w.holeDepth * holeDepth + w.wells * wells + w.bumpiness * bumpiness +
           w.height * ownHeight + w.dangerHeight * danger * danger + w.ownRowFilled * ownRowsFilled;
}

double BoardEvaluation::placementScore(const Placement& p) const {
    const Weights& w = weights_;
    const double landing = w.landingHeight * (1.0 + w.landingBySpeed * (p.speed - 1));
    return landing * p.landingRow + w.rowsCleared * p.rowsCleared +
           (p.rowsCleared > 0 ? 0.0 : w.outsideBox * p.outsideBoxes) +
           (p.underOtherBlock ? w.underOtherBlock : 0.0) +
           (p.claimedColumns ? w.claimedColumns : 0.0);
}
