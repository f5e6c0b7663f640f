#pragma once

#include <array>

// One unit square of a piece. Offsets are in position units (50 per cell) inside
// the owning block's 4 x 4 frame, one entry per rotation; a box of the field
// block stores its absolute position in all four entries.
class GameBox {
public:
    static constexpr int kDefaultColour = 6;

    GameBox() = default;
    GameBox(int colour, const std::array<int, 4>& x, const std::array<int, 4>& y, int fieldsizeX)
        : x_(x), y_(y), colour_(colour), fieldsizeX_(fieldsizeX) {}

    // Any rotation value is accepted; only its lowest two bits count.
    int x(int rotation) const { return x_[rotation & 3]; }
    int y(int rotation) const { return y_[rotation & 3]; }
    int colour() const { return colour_; }
    int fieldsizeX() const { return fieldsizeX_; }

    // Moves the box one row down in every rotation (row removal below it).
    void lowerOneRow() {
        for (int& v : y_) {
            v -= 50;
        }
    }

private:
    std::array<int, 4> x_{};
    std::array<int, 4> y_{};
    int colour_ = kDefaultColour;
    int fieldsizeX_ = -1;
};
