#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "gamefield.h"

class FieldMirror;

// Boxes in a row mask. Written out because the portable build has no popcount
// instruction and the library call costs more than this.
inline int countBits(std::uint64_t m) {
    m = m - ((m >> 1) & 0x5555555555555555ULL);
    m = (m & 0x3333333333333333ULL) + ((m >> 2) & 0x3333333333333333ULL);
    m = (m + (m >> 4)) & 0x0f0f0f0f0f0f0f0fULL;
    return static_cast<int>((m * 0x0101010101010101ULL) >> 56);
}

// The cells every piece covers on a ring of a given width, as one bit per
// column: the planner tests a whole row of a piece with one AND.
class PieceMasks {
public:
    explicit PieceMasks(int width = GameField::kColumnsPerPlayer);

    int width() const { return width_; }
    // Row dy (0..3) of the piece's 4 x 4 frame with the frame in ring column
    // column (0 .. width - 1).
    std::uint64_t row(int kind, int rotation, int column, int dy) const {
        return masks_[index(kind, rotation, column) * 4 + static_cast<std::size_t>(dy)];
    }
    // Lowest and highest frame row that holds a box.
    int lowDy(int kind, int rotation) const { return low_[kind * 4 + rotation]; }
    int highDy(int kind, int rotation) const { return high_[kind * 4 + rotation]; }
    // Every column the piece covers.
    std::uint64_t columns(int kind, int rotation, int column) const;

private:
    std::size_t index(int kind, int rotation, int column) const {
        return static_cast<std::size_t>((kind * 4 + rotation) * width_ + column);
    }

    int width_;
    std::vector<std::uint64_t> masks_;
    std::array<int, 28> low_{};
    std::array<int, 28> high_{};
};

// A snapshot of the shared field for planning: landed boxes and the cells of
// every other falling block, one 64-bit row mask per row (the ring is at most
// 48 columns wide).
class FieldBoard {
public:
    static constexpr int kRows = GameField::kRows;
    static constexpr int kFieldRows = GameField::kFieldRows;
    using Rows = std::array<std::uint64_t, kRows>;

    explicit FieldBoard(int width = GameField::kColumnsPerPlayer);
    // What the copy shows, with ownBlockId's cells left free.
    static FieldBoard fromMirror(const FieldMirror& mirror, int ownBlockId);

    int width() const { return width_; }
    std::uint64_t fullMask() const { return full_; }
    std::uint64_t landedRow(int row) const { return landed_[static_cast<std::size_t>(row)]; }
    std::uint64_t otherRow(int row) const { return other_[static_cast<std::size_t>(row)]; }
    bool landed(int column, int row) const { return (landedRow(row) >> column) & 1U; }
    void setLanded(int column, int row);
    void setOther(int column, int row);
    // Forgets the other falling blocks: they will have moved on by the time a
    // later piece gets there.
    void clearOthers() { other_ = {}; }
    // Landed boxes in the field's rows of these columns, per column: how high
    // a part of the ring stands, its holes not counted.
    double boxesPerColumn(std::uint64_t columns) const;

    // Whether the piece with its frame at ring column and frame row fits: no box
    // below the floor, none on a landed box, and unless landedOnly none on
    // another falling block.
    bool fits(const PieceMasks& masks, int kind, int rotation, int column, int frameRow,
              bool landedOnly = false) const;
    // Lowest frame row a piece falls to from frameRow without meeting anything;
    // frameRow itself must fit.
    int dropRow(const PieceMasks& masks, int kind, int rotation, int column, int frameRow,
                bool landedOnly = false) const;
    // Lands the piece and removes the full rows of the field as the server
    // does; returns how many went.
    int land(const PieceMasks& masks, int kind, int rotation, int column, int frameRow);

    // A ring rotation of a mask: bit c goes to bit (c + by) mod width.
    std::uint64_t rotate(std::uint64_t mask, int by) const;

private:
    int width_;
    std::uint64_t full_;
    Rows landed_{};
    Rows other_{};
};
