#include "movesearch.h"

#include <algorithm>

#include "gamegrid.h"

namespace {

int frameRowOf(int y) {
    return GameGrid::rowFloor(y);
}

}  // namespace

bool MoveSearch::survives(int kind, const Node& n, int below) const {
    // Every row between here and the next press is passed through.
    for (int row = frameRowOf(n.y); row >= frameRowOf(below); --row) {
        if (!board_.fits(masks_, kind, n.rotation, n.column, row)) {
            return false;
        }
    }
    return true;
}

const std::vector<MoveSearch::Node>& MoveSearch::explore(const Start& start, const Timing& timing) {
    const int width = board_.width();
    nodes_.clear();
    index_.assign(static_cast<std::size_t>(4 * width), -1);
    const int kind = start.kind;
    Node first;
    first.column = ((start.column % width) + width) % width;
    first.rotation = start.rotation & 3;
    first.y = start.y;
    if (!board_.fits(masks_, kind, first.rotation, first.column, frameRowOf(start.y))) {
        return nodes_;  // already stuck: nothing to plan
    }
    nodes_.push_back(first);
    index_[static_cast<std::size_t>(first.rotation * width + first.column)] = 0;

    const int interval = std::max(1, timing.intervalTicks);
    const Move moves[] = {{true, 0}, {false, 1}, {false, -1}, {true, 1}, {true, -1}};
    const int moveCount = timing.combineKeys ? 5 : 3;
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
        Node n = nodes_[i];
        const int row = frameRowOf(n.y);
        n.landingRow = board_.dropRow(masks_, kind, n.rotation, n.column, row);
        n.canLand = !board_.fits(masks_, kind, n.rotation, n.column, n.landingRow - 1, true);
        nodes_[i] = n;

        const long long ticks =
            timing.firstPressTicks + static_cast<long long>(n.slot + 1) * interval;
        const long long nextY = static_cast<long long>(start.y) - timing.speed * ticks;
        if (nextY < -4 * GameGrid::kCell || !survives(kind, n, static_cast<int>(nextY))) {
            continue;
        }
        const int nextRow = frameRowOf(static_cast<int>(nextY));
        for (int m = 0; m < moveCount; ++m) {
            const Move move = moves[m];
            const int rotation = move.rotate ? (n.rotation + 1) & 3 : n.rotation;
            const int column = (n.column + move.step + width) % width;
            // The turn comes first, in place; then the step.
            if (move.rotate && move.step != 0 &&
                !board_.fits(masks_, kind, rotation, n.column, nextRow)) {
                continue;
            }
            int& seen = index_[static_cast<std::size_t>(rotation * width + column)];
            if (seen >= 0 || !board_.fits(masks_, kind, rotation, column, nextRow)) {
                continue;
            }
            seen = static_cast<int>(nodes_.size());
            Node next;
            next.column = column;
            next.rotation = rotation;
            next.slot = n.slot + 1;
            next.parent = static_cast<int>(i);
            next.move = move;
            next.y = static_cast<int>(nextY);
            nodes_.push_back(next);
        }
    }
    return nodes_;
}

int MoveSearch::find(int rotation, int column) const {
    const int width = board_.width();
    if (index_.empty() || column < 0 || column >= width) {
        return -1;
    }
    return index_[static_cast<std::size_t>((rotation & 3) * width + column)];
}

MoveSearch::Move MoveSearch::firstMove(int node) const {
    if (node <= 0 || node >= static_cast<int>(nodes_.size())) {
        return {};
    }
    while (nodes_[static_cast<std::size_t>(node)].parent > 0) {
        node = nodes_[static_cast<std::size_t>(node)].parent;
    }
    return nodes_[static_cast<std::size_t>(node)].move;
}
