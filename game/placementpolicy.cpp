#include "placementpolicy.h"

#include <algorithm>
#include <array>
#include <climits>
#include <vector>

#include "gameblock.h"
#include "gamefield.h"
#include "gamegrid.h"

namespace {

constexpr int kCell = GameGrid::kCell;
constexpr int kRows = GameField::kRows;
constexpr int kTopRow = kRows - 4;

struct Cells {
    std::array<int, 4> column{};
    std::array<int, 4> row{};
    int count = 0;
};

// The player's part of the ring as a small grid: column i is ring column
// firstColumn + i.
class Part {
public:
    Part(const PlacementPolicy::Occupied& occupied, int fieldsizeX, int firstColumn, int width)
        : fieldsizeX_(fieldsizeX),
          first_(firstColumn),
          width_(width),
          cells_(static_cast<std::size_t>(width * kRows)) {
        for (int i = 0; i < width_; ++i) {
            const int c = GameGrid::column(fieldsizeX_, (first_ + i) * kCell);
            for (int r = 0; r < kRows; ++r) {
                at(i, r) = occupied(c, r);
            }
        }
    }
    // Index of a ring column inside the part, or -1.
    int index(int ringColumn) const {
        const int i = GameGrid::column(fieldsizeX_, (ringColumn - first_) * kCell);
        return i < width_ ? i : -1;
    }
    // 1 + the highest taken row of part column i; a straight drop from the top
    // stops on it.
    int height(int i) const {
        for (int r = kRows - 1; r >= 0; --r) {
            if (at(i, r)) {
                return r + 1;
            }
        }
        return 0;
    }
    // Lower is better: a low, flat stack without covered holes, full rows paid.
    int cost(const Cells& c) {
        set(c, true);
        int aggregate = 0;
        int holes = 0;
        int bumps = 0;
        int previous = -1;
        for (int i = 0; i < width_; ++i) {
            const int height = this->height(i);
            for (int r = 0; r < height; ++r) {
                holes += at(i, r) ? 0 : 1;
            }
            aggregate += height;
            bumps += previous < 0 ? 0 : std::abs(height - previous);
            previous = height;
        }
        int full = 0;
        for (int r = 0; r < kRows; ++r) {
            bool rowFull = true;
            for (int i = 0; i < width_ && rowFull; ++i) {
                rowFull = at(i, r);
            }
            full += rowFull ? 1 : 0;
        }
        set(c, false);
        return 51 * aggregate + 150 * holes + 18 * bumps - 76 * full;
    }

private:
    std::vector<char>::reference at(int i, int r) {
        return cells_[static_cast<std::size_t>(r * width_ + i)];
    }
    char at(int i, int r) const { return cells_[static_cast<std::size_t>(r * width_ + i)]; }
    void set(const Cells& c, bool value) {
        for (int k = 0; k < c.count; ++k) {
            at(index(c.column[k]), c.row[k]) = value;
        }
    }

    int fieldsizeX_;
    int first_;
    int width_;
    std::vector<char> cells_;
};

Cells cellsAt(const GameBlock& shape, int rotation, int column, int row, int fieldsizeX) {
    Cells c;
    for (const GameBox& b : shape.boxes()) {
        c.column[c.count] = GameGrid::column(fieldsizeX, column * kCell + b.x(rotation));
        c.row[c.count] = row + b.y(rotation) / kCell;
        ++c.count;
    }
    return c;
}

}  // namespace

std::vector<PlacementPolicy::Target> PlacementPolicy::placements(int fieldsizeX, int kind,
                                                                 int firstColumn, int width) {
    std::vector<Target> out;
    if (fieldsizeX <= 0 || kind < 0 || kind >= GameBlock::kKinds) {
        return out;
    }
    width = std::clamp(width, 1, fieldsizeX);
    const GameBlock shape(0, 0, kind, 0, 0, 0, fieldsizeX);
    for (int rotation = 0; rotation < 4; ++rotation) {
        for (int dx = -3; dx < width; ++dx) {
            bool inside = true;
            for (const GameBox& b : shape.boxes()) {
                inside = inside && GameGrid::column(fieldsizeX, dx * kCell + b.x(rotation)) < width;
            }
            if (inside) {
                out.push_back({rotation, GameGrid::column(fieldsizeX, (firstColumn + dx) * kCell)});
            }
        }
    }
    return out;
}

PlacementPolicy::Target PlacementPolicy::choose(const Occupied& occupied, int fieldsizeX, int kind,
                                                int firstColumn, int width) {
    Target best;
    if (fieldsizeX <= 0 || kind < 0 || kind >= GameBlock::kKinds) {
        return best;
    }
    width = std::clamp(width, 1, fieldsizeX);
    best.column = GameGrid::column(fieldsizeX, firstColumn * kCell);
    Part part(occupied, fieldsizeX, firstColumn, width);
    std::vector<int> heights(static_cast<std::size_t>(width));
    for (int i = 0; i < width; ++i) {
        heights[static_cast<std::size_t>(i)] = part.height(i);
    }
    const GameBlock shape(0, 0, kind, 0, 0, 0, fieldsizeX);
    int bestCost = INT_MAX;
    for (const Target& t : placements(fieldsizeX, kind, firstColumn, width)) {
        Cells cells = cellsAt(shape, t.rotation, t.column, 0, fieldsizeX);
        int row = INT_MIN;  // frame row; the frame may reach below the floor
        for (int k = 0; k < cells.count; ++k) {
            const int i = part.index(cells.column[k]);
            row = std::max(row, heights[static_cast<std::size_t>(i)] - cells.row[k]);
        }
        if (row > kTopRow) {
            continue;
        }
        for (int k = 0; k < cells.count; ++k) {
            cells.row[k] += row;
        }
        const int c = part.cost(cells);
        if (c < bestCost) {
            bestCost = c;
            best = t;
        }
    }
    return best;
}

int PlacementPolicy::nextKey(int rotation, int column, const Target& target, int fieldsizeX) {
    if ((rotation & 3) != (target.rotation & 3)) {
        return 0;
    }
    if (fieldsizeX <= 0) {
        return 4;
    }
    const int ahead = GameGrid::column(fieldsizeX, (target.column - column) * kCell);
    if (ahead == 0) {
        return 4;
    }
    return ahead <= fieldsizeX / 2 ? 2 : 3;
}
