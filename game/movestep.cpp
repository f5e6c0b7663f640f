#include "movestep.h"

#include <algorithm>

#include "gamegrid.h"

namespace {

constexpr int kCell = GameGrid::kCell;

bool pending(const KeyCounts& pressed, const KeyProgress& keys, KeySlot key) {
    return pressed[slotIndex(key)] != keys.done[slotIndex(key)];
}

void markDone(KeyProgress& keys, KeySlot key) {
    ++keys.done[slotIndex(key)];
}

}  // namespace

void stepKeys(MovingBlock& block, const KeyCounts& pressed, KeyProgress& keys, int fall,
              int inputDelayTicks) {
    if (keys.inputDelay > 0) {
        --keys.inputDelay;
    }
    const BlockPlace from = block.place();
    int x = from.x;
    int r = from.rotation;
    bool drop = false;

    if (keys.inputDelay < 1) {
        keys.pendingLeft = false;
        keys.pendingRight = false;
        if (pending(pressed, keys, KeySlot::Rotate)) {
            markDone(keys, KeySlot::Rotate);
            r = (r + 1) % 4;
            keys.inputDelay = inputDelayTicks;
        }
        if (pending(pressed, keys, KeySlot::Down)) {
            markDone(keys, KeySlot::Down);
            fall = std::max(fall, kCell);
            keys.inputDelay = inputDelayTicks;
        }
        if (pending(pressed, keys, KeySlot::Right)) {
            keys.pendingRight = true;  // counted as done once the stack lets it go
            x += kCell;
            keys.inputDelay = inputDelayTicks;
        }
        if (pending(pressed, keys, KeySlot::Left)) {
            keys.pendingLeft = true;
            x -= kCell;
            keys.inputDelay = inputDelayTicks;
        }
        if (pending(pressed, keys, KeySlot::Drop)) {
            markDone(keys, KeySlot::Drop);
            keys.inputDelay = inputDelayTicks;
            drop = true;
        }
        x = GameGrid::wrapped(block.fieldsizeX(), x);
    } else {
        if (keys.pendingRight) {
            x += kCell;
        }
        if (keys.pendingLeft) {
            x -= kCell;
        }
    }

    block.moveTo({from.x, from.y, r});  // a refused rotation is lost
    BlockPlace at = block.place();
    if (!block.moveTo({x, at.y, at.rotation})) {
        if (keys.pendingRight) {
            markDone(keys, KeySlot::Right);
        }
        if (keys.pendingLeft) {
            markDone(keys, KeySlot::Left);
        }
        keys.pendingLeft = false;
        keys.pendingRight = false;
    }

    at = block.place();
    const int ny = from.y - fall;
    if (drop) {
        const GameField::DropPlace d = block.dropPlace(at.x, ny, at.rotation);
        block.moveTo({at.x, d.standY, at.rotation});
        block.moveTo({at.x, d.contactY, at.rotation});  // lands where it stands
    } else {
        block.moveTo({at.x, ny, at.rotation});
    }
}
