#include "gameblock.h"

#include <array>

namespace {

struct Cell {
    int x;
    int y;
};
using Rotation = std::array<Cell, 4>;
using Shape = std::array<Rotation, 4>;

// Box order matters: the first box decides whether a falling block lies above a
// removed row.
constexpr std::array<Shape, GameBlock::kKinds> kShapes{{
    // 0: O
    {{{{{1, 1}, {1, 2}, {2, 1}, {2, 2}}},
      {{{1, 1}, {1, 2}, {2, 1}, {2, 2}}},
      {{{1, 1}, {1, 2}, {2, 1}, {2, 2}}},
      {{{1, 1}, {1, 2}, {2, 1}, {2, 2}}}}},
    // 1: T
    {{{{{0, 1}, {1, 0}, {1, 1}, {1, 2}}},
      {{{1, 0}, {0, 1}, {1, 1}, {2, 1}}},
      {{{2, 1}, {1, 0}, {1, 1}, {1, 2}}},
      {{{1, 2}, {0, 1}, {1, 1}, {2, 1}}}}},
    // 2: L
    {{{{{0, 2}, {1, 0}, {1, 1}, {1, 2}}},
      {{{0, 0}, {0, 1}, {1, 1}, {2, 1}}},
      {{{2, 0}, {1, 0}, {1, 1}, {1, 2}}},
      {{{2, 2}, {0, 1}, {1, 1}, {2, 1}}}}},
    // 3: J
    {{{{{2, 2}, {1, 0}, {1, 1}, {1, 2}}},
      {{{0, 2}, {0, 1}, {1, 1}, {2, 1}}},
      {{{0, 0}, {1, 0}, {1, 1}, {1, 2}}},
      {{{2, 0}, {0, 1}, {1, 1}, {2, 1}}}}},
    // 4: Z
    {{{{{0, 0}, {0, 1}, {1, 1}, {1, 2}}},
      {{{0, 2}, {1, 2}, {1, 1}, {2, 1}}},
      {{{0, 0}, {0, 1}, {1, 1}, {1, 2}}},
      {{{0, 2}, {1, 2}, {1, 1}, {2, 1}}}}},
    // 5: S
    {{{{{1, 2}, {2, 1}, {1, 1}, {2, 0}}},
      {{{0, 1}, {1, 2}, {1, 1}, {2, 2}}},
      {{{1, 2}, {2, 1}, {1, 1}, {2, 0}}},
      {{{0, 1}, {1, 2}, {1, 1}, {2, 2}}}}},
    // 6: I
    {{{{{0, 2}, {1, 2}, {2, 2}, {3, 2}}},
      {{{1, 0}, {1, 1}, {1, 2}, {1, 3}}},
      {{{0, 2}, {1, 2}, {2, 2}, {3, 2}}},
      {{{1, 0}, {1, 1}, {1, 2}, {1, 3}}}}},
}};

constexpr std::array<Rgb, GameBlock::kColours> kColourTable{{
    {255, 0, 0},
    {51, 51, 255},
    {0, 255, 0},
    {255, 255, 0},
    {255, 0, 255},
    {0, 255, 255},
    {0, 0, 0},
}};

int validKind(int kind) {
    return (kind >= 0 && kind < GameBlock::kKinds) ? kind : GameBlock::kNoKind;
}

}  // namespace

GameBlock::GameBlock(int id, int colour, int kind, int x, int y, int rotation, int fieldsizeX,
                     QObject* parent)
    : QObject(parent),
      id_(id),
      x_(x),
      y_(y),
      kind_(validKind(kind)),
      rotation_(rotation & 3),
      colour_(colour),
      fieldsizeX_(fieldsizeX) {
    GameBlock::buildBoxes();
}

GameBlock::GameBlock(int id, int colour, int x, int y, int fieldsizeX, RandomSource& random,
                     QObject* parent)
    : QObject(parent), id_(id), x_(x), y_(y), colour_(colour), fieldsizeX_(fieldsizeX) {
    // The order of the two draws is part of the deal: rotation first, then kind.
    rotation_ = (random.next() & 0x7fffffff) % 4;
    kind_ = (random.next() & 0x7fffffff) % kKinds;
    GameBlock::buildBoxes();
}

GameBlock::GameBlock(int id, int x, int y, int fieldsizeX, QObject* parent)
    : QObject(parent), id_(id), x_(x), y_(y), fieldsizeX_(fieldsizeX) {}

GameBlock::GameBlock(QObject* parent) : QObject(parent) {}

GameBlock::~GameBlock() = default;

void GameBlock::buildBoxes() {
    boxes_.clear();
    if (kind_ == kNoKind) {
        return;
    }
    const Shape& shape = kShapes[static_cast<std::size_t>(kind_)];
    boxes_.reserve(4);
    for (std::size_t i = 0; i < 4; ++i) {
        std::array<int, 4> xs{};
        std::array<int, 4> ys{};
        for (std::size_t r = 0; r < 4; ++r) {
            xs[r] = shape[r][i].x * 50;
            ys[r] = shape[r][i].y * 50;
        }
        boxes_.emplace_back(colour_, xs, ys, fieldsizeX_);
    }
}

void GameBlock::setPosition(int x, int y, int rotation) {
    x_ = x;
    y_ = y;
    rotation_ = rotation & 3;
}

void GameBlock::removeLine(int row) {
    std::erase_if(boxes_, [&](const GameBox& box) {
        return (static_cast<qint64>(box.y(rotation_)) + y_) / 50 == row;
    });
    for (GameBox& box : boxes_) {
        if ((static_cast<qint64>(box.y(rotation_)) + y_) / 50 > row) {
            box.lowerOneRow();
        }
    }
}

void GameBlock::addBoxesOf(const GameBlock& other) {
    boxes_.reserve(boxes_.size() + other.boxes_.size());
    for (const GameBox& b : other.boxes_) {
        const int bx = b.x(other.rotation_) + other.x_ - x_;
        const int by = b.y(other.rotation_) + other.y_ - y_;
        boxes_.emplace_back(b.colour(), std::array<int, 4>{bx, bx, bx, bx},
                            std::array<int, 4>{by, by, by, by}, fieldsizeX_);
    }
}

Rgb GameBlock::colourRgb(int colour) {
    if (colour < 0 || colour >= kColours) {
        colour = GameBox::kDefaultColour;
    }
    return kColourTable[static_cast<std::size_t>(colour)];
}
