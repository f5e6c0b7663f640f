#pragma once

#include <array>
#include <functional>
#include <memory>
#include <span>

#include "gameblock.h"

// The one field all players share: a ring of columns with an occupancy grid
// (cells hold block ids), landed boxes per row and the field block that owns
// every landed box. Runs on the server thread under the server mutex.
class GameField {
public:
    static constexpr int kSlots = 4;
    // Each player in the game adds a part of this many columns to the ring.
    static constexpr int kColumnsPerPlayer = 12;
    static constexpr int kMaxColumns = kColumnsPerPlayer * kSlots;
    static constexpr int kRows = 41;       // 0..24 the field, 25..40 room for new blocks
    static constexpr int kFieldRows = 25;  // only these are tested for full rows
    static constexpr int kNoBlock = -1;
    static constexpr int kFieldBlockId = 0;

    struct LineClear {
        int rows = 0;
        int points = 0;
        int lowestRow = -1;
    };

    GameField();
    ~GameField();
    GameField(const GameField&) = delete;
    GameField& operator=(const GameField&) = delete;

    static bool isValidWidth(int fieldsizeX) {
        return fieldsizeX > 0 && fieldsizeX <= kMaxColumns && fieldsizeX % kColumnsPerPlayer == 0;
    }

    // Empties the grid and makes a new field block. A width that is not 12, 24,
    // 36 or 48 is refused and nothing changes.
    bool reset(int fieldsizeX);
    // Drops the field block (game over or restart); the grid is left as it was.
    void clearFieldBlock();

    // What stands at a place a block might go to: nothing (Free), another
    // falling block (Blocked) or the floor or the landed stack (Contact).
    enum class Fit { Free, Blocked, Contact };
    Fit fit(const GameBlock& block, int x, int y, int rotation) const;

    // Where a drop from fromY ends: the block falls past other falling blocks
    // and stands at standY, the last free place above contactY, the first
    // place that touches the floor or the stack. standY is block.y() when no
    // place below is free.
    struct DropPlace {
        int standY;
        int contactY;
    };
    DropPlace dropPlace(const GameBlock& block, int x, int fromY, int rotation) const;

    // Tries to put block at (x, y) with rotation for the player in slot. Returns
    // contact: the floor or the landed stack was touched. A touch during a fall
    // lands and merges the block where it stands; a touch during a rotation or
    // side step only refuses the move. Another falling block in the way refuses
    // the move without contact.
    bool moveBlock(GameBlock& block, int x, int y, int rotation, int slot);

    // Removes every full row of rows 0..24, scanning downward. fallingBlocks are
    // the current blocks of the players in the game; one whose first box lies
    // above a removed row drops one row and is reported through lowered at once.
    LineClear removeFullLines(std::span<GameBlock* const> fallingBlocks,
                              const std::function<void(GameBlock&)>& lowered = {});

    // Lands block where it stands: its cells become the field block's, its boxes
    // go to the field block. A client's copy of the field follows the server's
    // merges this way.
    void land(const GameBlock& block);

    // Whether every box of block is entered in the grid under its id.
    bool occupies(const GameBlock& block) const;
    // Enters the block's boxes in every cell they cover that is free.
    void claimFreeCells(const GameBlock& block);
    // Enters the block's boxes in every cell they cover that holds no landed
    // box, over other falling blocks: a copy of the field that is told the
    // moves of one tick in another order than they were made ends up as the
    // server's field once every block stands where the tick left it.
    void claimCells(const GameBlock& block);
    // Empties the cells held by block (a player leaves).
    void releaseCells(const GameBlock& block);

    int fieldsizeX() const { return fieldsizeX_; }
    // Block id holding the cell, or kNoBlock; kNoBlock outside the grid.
    int cell(int column, int row) const;
    int rowCount(int row) const;
    int stackHeight() const { return stackHeight_; }
    GameBlock* fieldBlock() const { return fieldBlock_.get(); }

    bool moved(int slot) const { return validSlot(slot) && moved_[slot]; }
    bool landed(int slot) const { return validSlot(slot) && landed_[slot]; }
    void clearFlags();
    void clearFlags(int slot);

private:
    static bool validSlot(int slot) { return slot >= 0 && slot < kSlots; }
    int& at(int column, int row) { return grid_[row][column]; }
    void merge(const GameBlock& block);
    void shiftRowsDown(int row);

    int fieldsizeX_ = kColumnsPerPlayer;
    std::array<std::array<int, kMaxColumns>, kRows> grid_{};
    std::array<int, kRows> rowCount_{};
    int stackHeight_ = 0;
    std::unique_ptr<GameBlock> fieldBlock_;
    std::array<bool, kSlots> moved_{};
    std::array<bool, kSlots> landed_{};
};
