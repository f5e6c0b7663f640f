#include "fieldmirror.h"

#include <algorithm>
#include <climits>
#include <limits>
#include <vector>

#include "gamegrid.h"

FieldMirror::FieldMirror() = default;

FieldMirror::~FieldMirror() = default;

void FieldMirror::clear() {
    blocks_.clear();
    misses_.clear();
    activeBlockIds_.clear();
    field_.clearFieldBlock();
    hasField_ = false;
    lines_ = 0;
    points_ = 0;
}

const GameBlock* FieldMirror::block(int id) const {
    if (id == GameField::kFieldBlockId) {
        return hasField_ ? field_.fieldBlock() : nullptr;
    }
    return find(id);
}

GameBlock* FieldMirror::find(int id) const {
    const auto it = blocks_.find(id);
    return it == blocks_.end() ? nullptr : it->second.get();
}

void FieldMirror::addBlock(std::unique_ptr<GameBlock> block) {
    if (!block) {
        return;
    }
    if (block->id() == GameField::kFieldBlockId) {
        clear();
        // A width the field cannot have leaves no field: blocks are kept, but
        // nothing is entered in a grid.
        hasField_ = field_.reset(block->fieldsizeX());
        if (hasField_) {
            field_.land(*block);
        }
        return;
    }
    if (GameBlock* old = find(block->id()); old && hasField_) {
        field_.releaseCells(*old);
    }
    GameBlock& b = *block;
    blocks_[b.id()] = std::move(block);
    if (hasField_ && onField(b)) {
        field_.claimCells(b);
    }
}

void FieldMirror::addBlock(const BlockRecord& block, int fieldsizeX) {
    addBlock(std::make_unique<GameBlock>(block.id, block.colour, block.kind, block.x, block.y,
                                         block.rotation, fieldsizeX));
}

void FieldMirror::startField(int fieldsizeX, const QList<FieldCell>& landed) {
    auto fieldBlock = std::make_unique<GameBlock>(GameField::kFieldBlockId, 0, 0, fieldsizeX);
    for (const FieldCell& cell : landed) {
        const int x = cell.column * 50;
        const int y = cell.row * 50;
        fieldBlock->addBox(GameBox(cell.colour, {x, x, x, x}, {y, y, y, y}, fieldsizeX));
    }
    addBlock(std::move(fieldBlock));
}

void FieldMirror::place(GameBlock& block, int x, int y, int rotation) {
    if (hasField_ && onField(block)) {
        field_.releaseCells(block);
    }
    block.setPosition(x, y, rotation);
    if (hasField_ && onField(block)) {
        // Never over a landed box: the stack stays as the server built it.
        field_.claimCells(block);
    }
}

void FieldMirror::moveTo(int id, int x, int y, int rotation) {
    if (GameBlock* b = find(id)) {
        place(*b, x, y, rotation);
    }
}

bool FieldMirror::moveBlocks(const QList<GameMovement>& movements, const QList<int>& activeBlockIds,
                             const BlockEvent& placed) {
    activeBlockIds_ = activeBlockIds;
    for (const GameMovement& m : movements) {
        GameBlock* b = find(m.id);
        if (b == nullptr) {
            return ++misses_[m.id] > kMissesBeforeLoss;
        }
        place(*b, m.x, m.y, m.rotation);
        if (placed) {
            placed(*b);
        }
    }
    return false;
}

GameField::LineClear FieldMirror::mergeBlocks(const QList<GameMovement>& movements,
                                              const BlockEvent& landed) {
    for (const GameMovement& m : movements) {
        misses_.erase(m.id);
        const auto it = blocks_.find(m.id);
        if (it == blocks_.end()) {
            continue;
        }
        std::unique_ptr<GameBlock> b = std::move(it->second);
        blocks_.erase(it);
        if (!hasField_) {
            continue;
        }
        if (onField(*b)) {
            field_.releaseCells(*b);
        }
        b->setPosition(m.x, m.y, m.rotation);
        if (landed) {
            landed(*b);
        }
        field_.land(*b);
    }
    if (!hasField_) {
        return {};
    }
    std::vector<GameBlock*> falling;
    falling.reserve(blocks_.size());
    for (const auto& [id, b] : blocks_) {
        falling.push_back(b.get());
    }
    const GameField::LineClear clear = field_.removeFullLines(falling);
    lines_ += clear.rows;
    points_ += clear.points;
    return clear;
}

int FieldMirror::dropDistance(const GameBlock& block) const {
    if (block.boxes().empty()) {
        return 0;
    }
    const int w = fieldsizeX();
    const int r = block.rotation();
    // Rows above the grid hold nothing: a block far up skips them at once.
    qint64 lowest = std::numeric_limits<qint64>::max();
    for (const GameBox& b : block.boxes()) {
        lowest = std::min(lowest, qint64(block.y()) + b.y(r));
    }
    qint64 drop = std::max<qint64>(
        0, (lowest - GameField::kRows * GameGrid::kCell) / GameGrid::kCell * GameGrid::kCell);
    for (;; drop += GameGrid::kCell) {
        const qint64 next = drop + GameGrid::kCell;
        for (const GameBox& b : block.boxes()) {
            const qint64 y = qint64(block.y()) + b.y(r) - next;
            if (y < 0) {
                return int(std::min<qint64>(drop, INT_MAX));
            }
            const qint64 x = std::clamp<qint64>(qint64(block.x()) + b.x(r), INT_MIN, INT_MAX);
            const int holder = cell(GameGrid::column(w, int(x)), int(y / GameGrid::kCell));
            if (holder != GameField::kNoBlock && holder != block.id()) {
                return int(std::min<qint64>(drop, INT_MAX));
            }
        }
    }
}
