#pragma once

#include <functional>
#include <vector>

// A simple player: picks a rotation and column for a piece by trying every
// placement in its part of the ring on the landed stack, then tells which key
// to press next to get there. Used by the field simulation and the bot.
class PlacementPolicy {
public:
    struct Target {
        int rotation = 0;
        int column = 0;  // column of the block frame
    };
    // Whether the landed stack holds the cell; columns are already wrapped.
    using Occupied = std::function<bool(int column, int row)>;

    // Best placement of a piece of kind dropped straight down with every box in
    // the columns firstColumn .. firstColumn + width - 1 of the ring (a player's
    // own part of the field).
    static Target choose(const Occupied& occupied, int fieldsizeX, int kind, int firstColumn,
                         int width);
    // Every rotation and frame column, in the order choose tries them, that
    // keeps each box of a piece of kind in that part of the ring.
    static std::vector<Target> placements(int fieldsizeX, int kind, int firstColumn, int width);
    // Key to press next (0 rotate, 2 right, 3 left, 4 drop) to bring a block from
    // (rotation, column) to target on a ring of fieldsizeX columns.
    static int nextKey(int rotation, int column, const Target& target, int fieldsizeX);
};
