#pragma once

// Cell look-up on the ring of columns. Positions are in units of 50 per cell and
// are never wrapped when stored; they are reduced here.
struct GameGrid {
    static constexpr int kCell = 50;

    // Column of x on a ring of fieldsizeX columns, always in 0 .. fieldsizeX - 1
    // (0 for a ring without columns), for any x.
    static int column(int fieldsizeX, int x);
    // Row of y, truncated, and 0 below the floor.
    static int rowClamped(int y);
    // Row of y rounded toward minus infinity (drawing below the floor).
    static int rowFloor(int y);
};
