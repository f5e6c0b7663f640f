#include "gamegrid.h"

namespace {

int floorDiv(int value, int divisor) {
    const int q = value / divisor;
    return (value % divisor != 0 && value < 0) ? q - 1 : q;
}

}  // namespace

int GameGrid::column(int fieldsizeX, int x) {
    if (fieldsizeX <= 0) {
        return 0;
    }
    // Floor division keeps positions that are not multiples of a cell inside the
    // ring too; for multiples of 50 it matches plain wrapping.
    const int c = floorDiv(x, kCell) % fieldsizeX;
    return c < 0 ? c + fieldsizeX : c;
}

int GameGrid::rowClamped(int y) {
    const int r = y / kCell;
    return r < 0 ? 0 : r;
}

int GameGrid::rowFloor(int y) {
    return floorDiv(y, kCell);
}
