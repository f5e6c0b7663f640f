#pragma once

// Cell look-up on the ring of columns. Positions are in units of 50 per cell and
// are never wrapped when stored; they are reduced here.
struct GameGrid {
    static constexpr int kCell = 50;

    // Column of x on a ring of fieldsizeX columns, always in 0 .. fieldsizeX - 1
    // (0 for a ring without columns), for any x.
    static int column(int fieldsizeX, int x);
    // x moved onto the ring after a side step took it just past either end.
    static int wrapped(int fieldsizeX, int x) {
        const int ringWidth = fieldsizeX * kCell;
        return x < 0 ? x + ringWidth : x % ringWidth;
    }
    // Row of y, truncated, and 0 below the floor.
    static int rowClamped(int y);
    // Row of y rounded toward minus infinity (drawing below the floor).
    static int rowFloor(int y);
};
