#include "gamefield.h"

#include <algorithm>
#include <climits>

#include "gamegrid.h"

namespace {

constexpr int kCell = GameGrid::kCell;

struct CellPos {
    int column;
    int row;
};

// The cell of box b of block at (x, y, rotation). Sums are taken in 64 bits so
// that no position a caller passes can overflow.
CellPos cellOf(const GameBox& b, int fieldsizeX, qint64 x, qint64 y, int rotation) {
    const qint64 bx = std::clamp<qint64>(x + b.x(rotation), INT_MIN, INT_MAX);
    const qint64 by = std::clamp<qint64>(y + b.y(rotation), INT_MIN, INT_MAX);
    return {GameGrid::column(fieldsizeX, static_cast<int>(bx)),
            GameGrid::rowClamped(static_cast<int>(by))};
}

}  // namespace

GameField::GameField() {
    for (auto& row : grid_) {
        row.fill(kNoBlock);
    }
}

GameField::~GameField() = default;

bool GameField::reset(int fieldsizeX) {
    if (!isValidWidth(fieldsizeX)) {
        return false;
    }
    fieldsizeX_ = fieldsizeX;
    for (auto& row : grid_) {
        row.fill(kNoBlock);
    }
    rowCount_.fill(0);
    stackHeight_ = 0;
    moved_.fill(false);
    landed_.fill(false);
    fieldBlock_ = std::make_unique<GameBlock>(kFieldBlockId, 0, 0, fieldsizeX_);
    return true;
}

void GameField::clearFieldBlock() {
    fieldBlock_.reset();
}

int GameField::cell(int column, int row) const {
    if (column < 0 || column >= fieldsizeX_ || row < 0 || row >= kRows) {
        return kNoBlock;
    }
    return grid_[row][column];
}

int GameField::rowCount(int row) const {
    return (row >= 0 && row < kRows) ? rowCount_[row] : 0;
}

void GameField::clearFlags() {
    moved_.fill(false);
    landed_.fill(false);
}

void GameField::clearFlags(int slot) {
    if (validSlot(slot)) {
        moved_[slot] = false;
        landed_[slot] = false;
    }
}

GameField::Fit GameField::fit(const GameBlock& block, int x, int y, int rotation) const {
    const int nr = rotation & 3;
    Fit result = Fit::Free;
    for (const GameBox& b : block.boxes()) {
        if (static_cast<qint64>(y) + b.y(nr) < 0) {
            return Fit::Contact;
        }
        const CellPos c = cellOf(b, fieldsizeX_, x, y, nr);
        // Above the top row there is no room to stand; treat it like another
        // block in the way so the grid is never indexed out of range.
        const int holder = c.row < kRows ? grid_[c.row][c.column] : -2;
        if (holder == kFieldBlockId) {
            return Fit::Contact;
        }
        if (holder != kNoBlock && holder != block.id()) {
            result = Fit::Blocked;
        }
    }
    return result;
}

GameField::DropPlace GameField::dropPlace(const GameBlock& block, int x, int fromY,
                                          int rotation) const {
    DropPlace d{block.y(), fromY};
    // Places that meet another falling block are passed; the floor ends the
    // loop at the latest.
    for (Fit f = fit(block, x, d.contactY, rotation); f != Fit::Contact;
         f = fit(block, x, d.contactY, rotation)) {
        if (f == Fit::Free) {
            d.standY = d.contactY;
        }
        d.contactY -= kCell;
    }
    return d;
}

bool GameField::moveBlock(GameBlock& block, int x, int y, int rotation, int slot) {
    if (!validSlot(slot)) {
        return false;
    }
    const int nr = rotation & 3;
    const Fit f = fit(block, x, y, nr);
    if (f == Fit::Contact && y != block.y()) {
        // A touch during a fall lands the block where it stands.
        landed_[slot] = true;
        merge(block);
    }
    if (f != Fit::Free) {
        return f == Fit::Contact;
    }

    if (!block.boxes().empty()) {
        const GameBox& last = block.boxes().back();
        const CellPos from = cellOf(last, fieldsizeX_, block.x(), block.y(), block.rotation());
        const CellPos to = cellOf(last, fieldsizeX_, x, y, nr);
        if (from.column != to.column || from.row != to.row) {
            moved_[slot] = true;
        }
    }
    if (nr != block.rotation()) {
        moved_[slot] = true;
    }
    releaseCells(block);
    block.setPosition(x, y, nr);
    for (const GameBox& b : block.boxes()) {
        const CellPos c = cellOf(b, fieldsizeX_, x, y, nr);
        at(c.column, c.row) = block.id();  // every target row was checked above
    }
    return false;
}

void GameField::merge(const GameBlock& block) {
    for (const GameBox& b : block.boxes()) {
        const CellPos c = cellOf(b, fieldsizeX_, block.x(), block.y(), block.rotation());
        if (c.row >= kRows) {
            stackHeight_ = kRows;  // far above the field: the game is over
            continue;
        }
        int& holder = at(c.column, c.row);
        if (holder != kFieldBlockId) {
            holder = kFieldBlockId;
            ++rowCount_[c.row];
        }
        stackHeight_ = std::max(stackHeight_, c.row + 1);
    }
    if (fieldBlock_) {
        fieldBlock_->addBoxesOf(block);
    }
}

void GameField::land(const GameBlock& block) {
    releaseCells(block);
    merge(block);
}

void GameField::shiftRowsDown(int row) {
    for (int r = row; r < kRows - 1; ++r) {
        rowCount_[r] = rowCount_[r + 1];
        std::copy_n(grid_[r + 1].begin(), fieldsizeX_, grid_[r].begin());
    }
    rowCount_[kRows - 1] = 0;
    std::fill_n(grid_[kRows - 1].begin(), fieldsizeX_, kNoBlock);
}

GameField::LineClear GameField::removeFullLines(std::span<GameBlock* const> fallingBlocks,
                                                const std::function<void(GameBlock&)>& lowered) {
    LineClear result;
    for (int row = kFieldRows - 1; row >= 0; --row) {
        if (rowCount_[row] != fieldsizeX_) {
            continue;
        }
        if (fieldBlock_) {
            fieldBlock_->removeLine(row);
        }
        shiftRowsDown(row);
        --stackHeight_;
        result.points += result.rows == 0 ? 10 : 20;
        ++result.rows;
        result.lowestRow = row;

        for (GameBlock* b : fallingBlocks) {
            if (b == nullptr || b->boxes().empty()) {
                continue;
            }
            const GameBox& first = b->boxes().front();
            const int r0 = GameGrid::rowClamped(first.y(b->rotation()) + b->y());
            if (r0 > row) {
                // Its cells already moved down with the rows above.
                b->setPosition(b->x(), b->y() - kCell, b->rotation());
                if (lowered) {
                    lowered(*b);
                }
            }
        }
    }
    return result;
}

bool GameField::occupies(const GameBlock& block) const {
    for (const GameBox& b : block.boxes()) {
        const CellPos c = cellOf(b, fieldsizeX_, block.x(), block.y(), block.rotation());
        if (c.row >= kRows || grid_[c.row][c.column] != block.id()) {
            return false;
        }
    }
    return true;
}

void GameField::claimFreeCells(const GameBlock& block) {
    for (const GameBox& b : block.boxes()) {
        const CellPos c = cellOf(b, fieldsizeX_, block.x(), block.y(), block.rotation());
        if (c.row < kRows && at(c.column, c.row) == kNoBlock) {
            at(c.column, c.row) = block.id();
        }
    }
}

void GameField::claimCells(const GameBlock& block) {
    for (const GameBox& b : block.boxes()) {
        const CellPos c = cellOf(b, fieldsizeX_, block.x(), block.y(), block.rotation());
        if (c.row < kRows && at(c.column, c.row) != kFieldBlockId) {
            at(c.column, c.row) = block.id();
        }
    }
}

void GameField::releaseCells(const GameBlock& block) {
    // Only cells the block really holds: a block that was never entered must
    // not empty cells of another block standing where it is.
    for (const GameBox& b : block.boxes()) {
        const CellPos c = cellOf(b, fieldsizeX_, block.x(), block.y(), block.rotation());
        if (c.row < kRows && at(c.column, c.row) == block.id()) {
            at(c.column, c.row) = kNoBlock;
        }
    }
}
