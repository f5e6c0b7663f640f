#include "blockrecords.h"

#include "gameblock.h"

GameMovement GameMovement::of(const GameBlock& block) {
    return {block.id(), block.x(), block.y(), block.rotation()};
}

QList<GameMovement> GameMovement::of(const QList<GameBlock*>& blocks) {
    QList<GameMovement> m;
    m.reserve(blocks.size());
    for (const GameBlock* b : blocks) {
        if (b != nullptr) {
            m.append(of(*b));
        }
    }
    return m;
}

BlockRecord BlockRecord::of(const GameBlock& block) {
    return {block.id(), block.colour(), block.kind(), block.x(), block.y(), block.rotation()};
}
