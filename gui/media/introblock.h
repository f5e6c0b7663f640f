#pragma once

#include <QPoint>

#include "game/gameblock.h"

class QPainter;

// A square of the intro's logo pieces. Offsets are pixels, multiples of 75.
class IntroBox : public GameBox {
public:
    static constexpr int kSize = 75;

    IntroBox(int colour, const std::array<int, 4>& x, const std::array<int, 4>& y)
        : GameBox(colour, x, y, -1) {}
    explicit IntroBox(const GameBox& box) : GameBox(box) {}

    // A rounded square with its lower left corner at x + offset, y - offset
    // (y grows downwards on screen).
    void paint(QPainter& painter, int x, int y, int rotation) const;
};

// One of the two logo pieces that fall in the intro: kind 0 has 5 boxes, kind
// 1 has 6, laid out on a 4 x 4 grid of 75-pixel cells; together they form a Q.
// Positions are pixels.
class IntroBlock : public GameBlock {
public:
    IntroBlock(int id, int colour, int kind, int x, int y, int rotation, QObject* parent = nullptr);

    // Paints the boxes; a box's x is origin.x minus the block's x, its y
    // origin.y plus the block's y.
    void paint(QPainter& painter, QPoint origin) const;

protected:
    void buildBoxes() override;
};
