#include "fieldboard.h"

#include <algorithm>

#include "fieldmirror.h"
#include "gameblock.h"
#include "gamegrid.h"

namespace {

std::uint64_t maskOfWidth(int width) {
    return width >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << width) - 1;
}

}  // namespace

PieceMasks::PieceMasks(int width)
    : width_(std::clamp(width, 1, GameField::kMaxColumns)),
      masks_(static_cast<std::size_t>(GameBlock::kKinds * 4 * width_ * 4)) {
    const FieldBoard ring(width_);
    for (int kind = 0; kind < GameBlock::kKinds; ++kind) {
        // The shapes come from the pieces themselves, so there is one table.
        const GameBlock shape(0, 0, kind, 0, 0, 0, width_);
        for (int rotation = 0; rotation < 4; ++rotation) {
            std::array<std::uint64_t, 4> base{};
            int low = 3;
            int high = 0;
            for (const GameBox& b : shape.boxes()) {
                const int dx = b.x(rotation) / GameGrid::kCell;
                const int dy = b.y(rotation) / GameGrid::kCell;
                base[static_cast<std::size_t>(dy)] |= std::uint64_t{1} << (dx % width_);
                low = std::min(low, dy);
                high = std::max(high, dy);
            }
            low_[kind * 4 + rotation] = low;
            high_[kind * 4 + rotation] = high;
            for (int column = 0; column < width_; ++column) {
                for (int dy = 0; dy < 4; ++dy) {
                    masks_[index(kind, rotation, column) * 4 + static_cast<std::size_t>(dy)] =
                        ring.rotate(base[static_cast<std::size_t>(dy)], column);
                }
            }
        }
    }
}

std::uint64_t PieceMasks::columns(int kind, int rotation, int column) const {
    std::uint64_t m = 0;
    for (int dy = 0; dy < 4; ++dy) {
        m |= row(kind, rotation, column, dy);
    }
    return m;
}

FieldBoard::FieldBoard(int width)
    : width_(std::clamp(width, 1, GameField::kMaxColumns)), full_(maskOfWidth(width_)) {}

double FieldBoard::boxesPerColumn(std::uint64_t columns) const {
    columns &= full_;
    const int count = countBits(columns);
    if (count == 0) {
        return 0.0;
    }
    int boxes = 0;
    for (int row = 0; row < kFieldRows; ++row) {
        boxes += countBits(landedRow(row) & columns);
    }
    return static_cast<double>(boxes) / count;
}

FieldBoard FieldBoard::fromMirror(const FieldMirror& mirror, int ownBlockId) {
    FieldBoard board(mirror.fieldsizeX());
    if (!mirror.hasField()) {
        return board;
    }
    for (int row = 0; row < kRows; ++row) {
        for (int column = 0; column < board.width_; ++column) {
            const int id = mirror.cell(column, row);
            if (id == GameField::kFieldBlockId) {
                board.setLanded(column, row);
            } else if (id != GameField::kNoBlock && id != ownBlockId) {
                board.setOther(column, row);
            }
        }
    }
    return board;
}

void FieldBoard::setLanded(int column, int row) {
    landed_[static_cast<std::size_t>(row)] |= std::uint64_t{1} << column;
}

void FieldBoard::setOther(int column, int row) {
    other_[static_cast<std::size_t>(row)] |= std::uint64_t{1} << column;
}

std::uint64_t FieldBoard::rotate(std::uint64_t mask, int by) const {
    by %= width_;
    if (by == 0) {
        return mask & full_;
    }
    return ((mask << by) | (mask >> (width_ - by))) & full_;
}

bool FieldBoard::fits(const PieceMasks& masks, int kind, int rotation, int column, int frameRow,
                      bool landedOnly) const {
    if (frameRow + masks.lowDy(kind, rotation) < 0) {
        return false;
    }
    for (int dy = masks.lowDy(kind, rotation); dy <= masks.highDy(kind, rotation); ++dy) {
        const int row = frameRow + dy;
        if (row >= kRows) {
            break;  // nothing is kept above the grid
        }
        const std::size_t r = static_cast<std::size_t>(row);
        const std::uint64_t taken = landedOnly ? landed_[r] : (landed_[r] | other_[r]);
        if (taken & masks.row(kind, rotation, column, dy)) {
            return false;
        }
    }
    return true;
}

int FieldBoard::dropRow(const PieceMasks& masks, int kind, int rotation, int column, int frameRow,
                        bool landedOnly) const {
    // Rows above the grid are empty: start the fall where the grid begins.
    int row = std::min(frameRow, kRows);
    while (fits(masks, kind, rotation, column, row - 1, landedOnly)) {
        --row;
    }
    return row;
}

int FieldBoard::land(const PieceMasks& masks, int kind, int rotation, int column, int frameRow) {
    int lowest = kRows;
    for (int dy = masks.lowDy(kind, rotation); dy <= masks.highDy(kind, rotation); ++dy) {
        const int row = frameRow + dy;
        if (row >= 0 && row < kRows) {
            landed_[static_cast<std::size_t>(row)] |= masks.row(kind, rotation, column, dy);
            lowest = std::min(lowest, row);
        }
    }
    int cleared = 0;
    for (int row = std::min(frameRow + 3, kFieldRows - 1); row >= std::max(lowest, 0); --row) {
        if (landed_[static_cast<std::size_t>(row)] != full_) {
            continue;
        }
        std::copy(landed_.begin() + row + 1, landed_.end(), landed_.begin() + row);
        landed_.back() = 0;
        ++cleared;
    }
    return cleared;
}
