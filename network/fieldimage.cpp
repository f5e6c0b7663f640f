#include "fieldimage.h"

#include "game/gameblock.h"
#include "game/gamegrid.h"

namespace FieldImage {

QByteArray pack(const GameBlock& fieldBlock, int fieldsizeX) {
    if (fieldsizeX <= 0 || fieldsizeX % 2 != 0) {
        return {};
    }
    QByteArray field(fieldsizeX * kRows / 2, static_cast<char>(0x77));
    for (const GameBox& box : fieldBlock.boxes()) {
        const int column =
            GameGrid::column(fieldsizeX, box.x(fieldBlock.rotation()) + fieldBlock.x());
        const int row = GameGrid::rowClamped(box.y(fieldBlock.rotation()) + fieldBlock.y());
        if (row >= kRows) {
            continue;
        }
        const int value = (box.colour() + 1) & 7;
        const int nibble = row * fieldsizeX + column;
        char& byte = field[nibble / 2];
        // Clearing bits from 0x7 leaves colour + 1 as long as the cell was empty.
        byte = static_cast<char>(column % 2 == 0 ? (byte & ((value << 4) | 0x0F))
                                                 : (byte & (0xF0 | value)));
    }
    return field;
}

std::vector<Cell> unpack(const QByteArray& field, int fieldsizeX) {
    std::vector<Cell> cells;
    if (fieldsizeX <= 0) {
        return cells;
    }
    const qsizetype nibbles = std::min<qsizetype>(field.size() * 2, qsizetype(fieldsizeX) * kRows);
    for (qsizetype n = 0; n < nibbles; ++n) {
        const auto byte = static_cast<unsigned char>(field[n / 2]);
        const int value = (n % 2 == 0 ? byte >> 4 : byte) & 0x0F;
        if (value == kEmpty || value == 0 || value > 7) {
            continue;  // 0 and 8..15 are no colour + 1 of a box
        }
        cells.push_back(
            {static_cast<int>(n % fieldsizeX), static_cast<int>(n / fieldsizeX), value - 1});
    }
    return cells;
}

}  // namespace FieldImage
