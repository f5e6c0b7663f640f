#pragma once

#include <QByteArray>
#include <vector>

#include "game/blockrecords.h"

class GameBlock;

// The packed field text of a game-state snapshot: rows 0..24, two cells per
// byte (even column in the high nibble), 7 = empty, colour + 1 = a box. Every
// byte lies in 0x11..0x77, so the text has no space and survives UTF-8.
namespace FieldImage {

inline constexpr int kRows = 25;
inline constexpr int kEmpty = 7;

using Cell = FieldCell;

// From the field block's landed boxes; boxes outside rows 0..24 are left out.
// An odd or non-positive width gives an empty text.
QByteArray pack(const GameBlock& fieldBlock, int fieldsizeX);
// Every box cell of a packed text, in cell order (cell n lies in column
// n mod fieldsizeX, row n div fieldsizeX). Total on any bytes: nibbles beyond
// the 25 rows of the width are ignored, a short text gives fewer cells.
std::vector<Cell> unpack(const QByteArray& field, int fieldsizeX);

}  // namespace FieldImage
