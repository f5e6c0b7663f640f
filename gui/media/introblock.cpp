#include "introblock.h"

#include <QPainter>
#include <QPainterPath>

namespace {

struct Cell {
    int x;
    int y;
};

// Rotation 0 of each kind, cells with y up. Kind 0 is the Q's bowl base and
// tail, kind 1 the arch that drops on top of it.
const std::array<std::vector<Cell>, 2> kLayouts = {{
    {{1, 1}, {2, 1}, {3, 1}, {2, 0}, {3, 0}},
    {{0, 1}, {0, 2}, {0, 3}, {1, 3}, {2, 3}, {2, 2}},
}};

// One rotation step turns the piece a quarter counter-clockwise inside its
// 4 x 4 frame, like the game's pieces.
Cell rotated(Cell c, int steps) {
    for (int i = 0; i < steps; ++i) {
        c = {3 - c.y, c.x};
    }
    return c;
}

}  // namespace

void IntroBox::paint(QPainter& painter, int x, int y, int rotation) const {
    const Rgb rgb = GameBlock::colourRgb(colour());
    painter.setPen(QPen(Qt::black, 2));
    painter.setBrush(QColor(rgb.red, rgb.green, rgb.blue));
    painter.drawRoundedRect(
        QRectF(x + this->x(rotation), y - kSize - this->y(rotation), kSize, kSize), 5, 5);
}

IntroBlock::IntroBlock(int id, int colour, int kind, int x, int y, int rotation, QObject* parent)
    : GameBlock(id, colour, kind, x, y, rotation, -1, parent) {
    IntroBlock::buildBoxes();
}

void IntroBlock::buildBoxes() {
    std::vector<GameBox> boxes;
    if (kind() == 0 || kind() == 1) {
        for (const Cell& cell : kLayouts[static_cast<std::size_t>(kind())]) {
            std::array<int, 4> xs{};
            std::array<int, 4> ys{};
            for (int r = 0; r < 4; ++r) {
                const Cell c = rotated(cell, r);
                xs[static_cast<std::size_t>(r)] = c.x * IntroBox::kSize;
                ys[static_cast<std::size_t>(r)] = c.y * IntroBox::kSize;
            }
            boxes.push_back(IntroBox(colour(), xs, ys));
        }
    }
    setBoxes(std::move(boxes));
}

void IntroBlock::paint(QPainter& painter, QPoint origin) const {
    for (const GameBox& box : boxes()) {
        IntroBox(box).paint(painter, origin.x() - x(), origin.y() + y(), rotation());
    }
}
