#include "placementplanner.h"

#include <algorithm>
#include <climits>

#include "gameblock.h"
#include "gamegrid.h"

namespace {

// A new piece comes down to this frame row before anyone can move it.
constexpr int kSpawnFrameRow = 26;
constexpr double kStuckPenalty = 1000.0;

}  // namespace

PlacementPlanner::PlacementPlanner(const BoardEvaluation::Weights& weights)
    : evaluation_(weights), masks_(std::make_unique<PieceMasks>(GameField::kColumnsPerPlayer)) {}

void PlacementPlanner::setPart(int width, int firstColumn, int columns, int reachLeft,
                               int reachRight) {
    if (masks_->width() != width) {
        masks_ = std::make_unique<PieceMasks>(width);
    }
    evaluation_.setPart(width, firstColumn, columns);
    const FieldBoard ring(width);
    const std::uint64_t part = evaluation_.partMask();
    window_ = part;
    if (columns + reachLeft + reachRight >= ring.width()) {
        window_ = ring.fullMask();
        return;
    }
    for (int i = 1; i <= reachRight; ++i) {
        window_ |= ring.rotate(part, i);
    }
    for (int i = 1; i <= reachLeft; ++i) {
        window_ |= ring.rotate(part, ring.width() - i);
    }
}

BoardEvaluation::Placement PlacementPlanner::facts(const FieldBoard& before, int kind, int rotation,
                                                   int column, int landingRow, int cleared,
                                                   int speed, std::uint64_t claimed) const {
    const PieceMasks& m = *masks_;
    BoardEvaluation::Placement p;
    p.speed = speed;
    p.landingRow = landingRow + (m.lowDy(kind, rotation) + m.highDy(kind, rotation)) / 2;
    p.rowsCleared = cleared;
    p.outsideBoxes = 0;
    for (int dy = 0; dy < 4; ++dy) {
        p.outsideBoxes += countBits(m.row(kind, rotation, column, dy) & ~evaluation_.partMask());
    }
    // A teammate's block anywhere above the piece will come down on the same
    // columns: that is where its player is heading.
    std::uint64_t above = 0;
    for (int row = std::max(0, landingRow + m.lowDy(kind, rotation)); row < FieldBoard::kRows;
         ++row) {
        above |= before.otherRow(row);
    }
    p.underOtherBlock = (above & m.columns(kind, rotation, column)) != 0;
    p.claimedColumns = (claimed & m.columns(kind, rotation, column)) != 0;
    return p;
}

std::vector<PlacementPlanner::Choice> PlacementPlanner::rank(const FieldBoard& board,
                                                             const Situation& s,
                                                             bool lookahead) const {
    std::vector<Choice> out;
    if (board.width() != masks_->width() || s.piece.kind < 0 || s.piece.kind >= GameBlock::kKinds) {
        return out;
    }
    const PieceMasks& m = *masks_;
    const int kind = s.piece.kind;
    MoveSearch search(m, board);
    const std::vector<MoveSearch::Node>& nodes = search.explore(s.piece, s.timing);
    std::vector<Claim> claims;
    std::uint64_t claimed = 0;
    for (Claim c : s.claims) {
        if (c.kind >= 0 && c.kind < GameBlock::kKinds) {
            c.rotation &= 3;
            c.column = ((c.column % board.width()) + board.width()) % board.width();
            claimed |= m.columns(c.kind, c.rotation, c.column);
            claims.push_back(c);
        }
    }
    std::vector<FieldBoard> after;
    for (const MoveSearch::Node& n : nodes) {
        if (!n.canLand || (m.columns(kind, n.rotation, n.column) & ~window_) != 0) {
            continue;
        }
        FieldBoard b = board;
        const int cleared = b.land(m, kind, n.rotation, n.column, n.landingRow);
        const auto f = facts(board, kind, n.rotation, n.column, n.landingRow, cleared,
                             s.timing.speed, claimed);
        // The others' pieces land where they are headed: the stack is judged
        // as it will be, and so is the next piece's answer.
        landClaims(b, claims);
        out.push_back({n.rotation, n.column, n.landingRow,
                       evaluation_.placementScore(f) + evaluation_.stackScore(b)});
        after.push_back(std::move(b));
    }
    std::vector<std::size_t> order(out.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    const auto better = [&out](std::size_t a, std::size_t b) {
        return out[a].score > out[b].score;
    };
    std::stable_sort(order.begin(), order.end(), better);
    if (lookahead && s.nextKind >= 0 && s.nextKind < GameBlock::kKinds) {
        const std::size_t deep = std::min(order.size(), kLookaheadCandidates);
        for (std::size_t i = 0; i < deep; ++i) {
            Choice& c = out[order[i]];
            const FieldBoard& b = after[order[i]];
            // The next piece appears above where this one lands.
            const double stack = evaluation_.stackScore(b);
            c.score += bestAnswer(b, s, c.column) - stack;
        }
        std::stable_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(deep), better);
    }
    std::vector<Choice> ranked;
    ranked.reserve(out.size());
    for (std::size_t i : order) {
        ranked.push_back(out[i]);
    }
    return ranked;
}

void PlacementPlanner::landClaims(FieldBoard& board, const std::vector<Claim>& claims) const {
    const PieceMasks& m = *masks_;
    for (const Claim& c : claims) {
        if (board.fits(m, c.kind, c.rotation, c.column, FieldBoard::kFieldRows, true)) {
            board.land(
                m, c.kind, c.rotation, c.column,
                board.dropRow(m, c.kind, c.rotation, c.column, FieldBoard::kFieldRows, true));
        }
    }
}

double PlacementPlanner::bestAnswer(const FieldBoard& board, const Situation& s,
                                    int spawnColumn) const {
    const PieceMasks& m = *masks_;
    // The next piece appears above where this one landed and has to find its
    // way from there, past whatever this one built. The blocks falling now
    // will have moved on by then: a teammate's block at the spawn today says
    // nothing about the way the next piece will have.
    FieldBoard stack = board;
    stack.clearOthers();
    MoveSearch search(m, stack);
    MoveSearch::Start start{s.nextKind, s.nextRotation, spawnColumn,
                            kSpawnFrameRow * GameGrid::kCell};
    MoveSearch::Timing timing = s.timing;
    timing.firstPressTicks = 0;
    double best = -1e18;
    for (const MoveSearch::Node& n : search.explore(start, timing)) {
        if (!n.canLand || (m.columns(s.nextKind, n.rotation, n.column) & ~window_) != 0) {
            continue;
        }
        FieldBoard b = stack;
        const int cleared = b.land(m, s.nextKind, n.rotation, n.column, n.landingRow);
        const auto f = facts(stack, s.nextKind, n.rotation, n.column, n.landingRow, cleared,
                             s.timing.speed, 0);
        best = std::max(best, evaluation_.placementScore(f) + evaluation_.stackScore(b));
    }
    // Nowhere to go: the piece lands where it appears, which may end the game.
    return best > -1e17 ? best : evaluation_.stackScore(stack) - kStuckPenalty;
}
