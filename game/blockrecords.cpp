#include "blockrecords.h"

#include "gameblock.h"

GameMovement GameMovement::of(const GameBlock& block) {
    return {block.id(), block.x(), block.y(), block.rotation()};
}

BlockRecord BlockRecord::of(const GameBlock& block) {
    return {block.id(), block.colour(), block.kind(), block.x(), block.y(), block.rotation()};
}
