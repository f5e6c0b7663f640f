#pragma once

#include <QList>
#include <functional>
#include <map>
#include <memory>

#include "blockrecords.h"
#include "gamefield.h"
#include "gamesimulation.h"

// A player's copy of the shared field, kept from what the server reports: new
// blocks, moves, merges, and for a late joiner the field block with every
// landed box. Full rows are removed here the way the server removes them, so
// the copy shows the landed stack and every falling block without being told.
// A headless player plays on it; a view draws from it.
class FieldMirror {
public:
    // Movements for a block that never arrived, beyond this many, mean lost
    // messages: time to ask the server to send them again.
    static constexpr int kMissesBeforeLoss = 10;

    FieldMirror();
    ~FieldMirror();
    FieldMirror(const FieldMirror&) = delete;
    FieldMirror& operator=(const FieldMirror&) = delete;

    // Forgets every block and the field.
    void clear();

    // Takes the block. The field block (id 0) starts a new field of its width
    // holding the boxes it brings (none at the start of a game, the landed
    // stack for a late joiner) and drops every other block. Any other block
    // replaces the one of the same id.
    void addBlock(std::unique_ptr<GameBlock> block);
    // The same for a block the server dealt on a field fieldsizeX wide.
    void addBlock(const BlockRecord& block, int fieldsizeX);
    // A new field holding the landed boxes given: what a late joiner sees.
    void startField(int fieldsizeX, const QList<FieldCell>& landed);

    using BlockEvent = std::function<void(const GameBlock&)>;

    // Puts blocks where the movements say, in order, and reports each block
    // placed. The first movement of a block that is not here drops the rest of
    // the batch. True when such a miss was one too many for its block id.
    bool moveBlocks(const QList<GameMovement>& movements, const QList<int>& activeBlockIds,
                    const BlockEvent& placed = {});

    // Lands each block at its final place, reporting it just before it goes
    // into the field block, then removes the full rows.
    GameField::LineClear mergeBlocks(const QList<GameMovement>& movements,
                                     const BlockEvent& landed = {});

    bool hasField() const { return hasField_; }
    int fieldsizeX() const { return field_.fieldsizeX(); }
    // Whether a landed box fills the cell (rows 0..40).
    bool landed(int column, int row) const {
        return hasField_ && field_.cell(column, row) == GameField::kFieldBlockId;
    }
    // Block id holding the cell, or GameField::kNoBlock.
    int cell(int column, int row) const {
        return hasField_ ? field_.cell(column, row) : GameField::kNoBlock;
    }
    // A falling or coming block, or the field block (id 0); null if unknown.
    const GameBlock* block(int id) const;
    std::size_t blockCount() const { return blocks_.size(); }
    // Every block but the field block, in id order.
    template <typename F>
    void forEachBlock(F&& f) const {
        for (const auto& [id, b] : blocks_) {
            f(static_cast<const GameBlock&>(*b));
        }
    }
    // How far (units, a multiple of 50) the block can fall straight down before
    // a box would pass the floor or enter a cell of another block.
    int dropDistance(const GameBlock& block) const;
    // The active blocks as the last movements named them: on a client, those of
    // its first and its second local player; -1 for none.
    const QList<int>& activeBlockIds() const { return activeBlockIds_; }
    // Rows removed and line points since the field block came.
    int lines() const { return lines_; }
    int points() const { return points_; }

    // The field's own check of a place for block against the copy: the landed
    // stack and the other blocks where they were last reported.
    GameField::Fit fit(const GameBlock& block, int x, int y, int rotation) const {
        return field_.fit(block, x, y, rotation);
    }
    GameField::DropPlace dropPlace(const GameBlock& block, int x, int fromY, int rotation) const {
        return field_.dropPlace(block, x, fromY, rotation);
    }
    // Shows a known block at another place (a predicted move); nothing lands.
    void moveTo(int id, int x, int y, int rotation);

    // A block with x or y below this is not on the field: a coming block
    // waiting at its park position, or the blocks of a player who left.
    static constexpr int kOffField = GameSimulation::parkPosition(0) + 1;
    static bool onField(const GameBlock& b) { return b.x() >= kOffField && b.y() >= kOffField; }

private:
    GameBlock* find(int id) const;
    void place(GameBlock& block, int x, int y, int rotation);

    GameField field_;
    bool hasField_ = false;
    std::map<int, std::unique_ptr<GameBlock>> blocks_;  // every block but the field block
    std::map<int, int> misses_;
    QList<int> activeBlockIds_;
    int lines_ = 0;
    int points_ = 0;
};
