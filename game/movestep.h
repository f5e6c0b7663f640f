#pragma once

#include "gamefield.h"
#include "keyinput.h"

// What one tick keeps of a player's keys for the next.
struct KeyProgress {
    KeyCounts done{};          // presses carried out, or lost (a turn the field refused)
    int inputDelay = -1;       // ticks before the next press may be carried out
    bool pendingLeft = false;  // a side step waiting for room, tried every tick
    bool pendingRight = false;
};

struct BlockPlace {
    int x = 0;
    int y = 0;
    int rotation = 0;
    friend bool operator==(const BlockPlace&, const BlockPlace&) = default;
};

// The falling block a tick moves, on the field it moves on: the server's
// field, or a client's copy on which its own presses are replayed.
class MovingBlock {
public:
    virtual ~MovingBlock() = default;
    virtual int fieldsizeX() const = 0;
    virtual BlockPlace place() const = 0;
    // As GameField::moveBlock: true when the floor or the stack is touched,
    // which lands a falling block and refuses a turn or a step; another
    // falling block in the way refuses the move without contact.
    virtual bool moveTo(const BlockPlace& to) = 0;
    virtual GameField::DropPlace dropPlace(int x, int fromY, int rotation) const = 0;
};

// One tick of a player's keys and gravity, the server's and the prediction's
// alike. Once the input delay is over it carries out one press of each kind
// that pressed holds beyond keys.done, in the order turn, down, right, left,
// drop; each starts the delay again. A side step the stack refuses stays
// pending and is tried again every tick. Then the block falls by fall units,
// at least a cell after Down, down to the stack after a drop.
void stepKeys(MovingBlock& block, const KeyCounts& pressed, KeyProgress& keys, int fall,
              int inputDelayTicks);
