#include "qualityprobe.h"

#include <QList>
#include <algorithm>

#include "game/blockrecords.h"
#include "game/gamefield.h"
#include "game/gamegrid.h"
#include "gui/scene/scenefield.h"

void QualityProbe::frameTook(double ms) {
    if (done_) {
        return;
    }
    if (skipped_ < kWarmupFrames) {
        ++skipped_;
        return;
    }
    frames_.push_back(ms);
    if (int(frames_.size()) < kMeasuredFrames) {
        return;
    }
    const auto middle = frames_.begin() + std::ptrdiff_t(frames_.size() / 2);
    std::nth_element(frames_.begin(), middle, frames_.end());
    fps_ = *middle > 0.0 ? 1000.0 / *middle : 1000.0;
    if (fps_ >= kGoalFps || quality_ == 0) {
        done_ = true;
        return;
    }
    --quality_;
    skipped_ = 0;
    frames_.clear();
}

void QualityProbe::showcase(SceneField& field) {
    constexpr int kColumns = GameField::kMaxColumns;
    constexpr int kPart = GameField::kColumnsPerPlayer;
    constexpr int kCell = GameGrid::kCell;
    QList<FieldCell> landed;
    for (int column = 0; column < kColumns; ++column) {
        // Uneven heights of 3 to 10 rows, a hole now and then.
        const int height = 3 + (column * 7 + column / 5) % 8;
        for (int row = 0; row < height; ++row) {
            if ((column * 5 + row * 3) % 11 != 0) {
                landed.append(FieldCell{column, row, (column / kPart + row) % 6});
            }
        }
    }
    field.setFieldsizeX(kColumns);
    field.field().processNewField(kColumns, landed);
    for (int player = 0; player < 4; ++player) {
        field.field().processNewBlock(
            BlockRecord{player + 1, player, (player * 2) % 7, (player * kPart + 5) * kCell,
                        (22 + player * 3) * kCell, player % 4},
            kColumns);
    }
    // Turning, so that every frame draws the whole room: an unchanged room is
    // only copied, and a quality has to hold while the camera moves too.
    field.setRotation(true);
}
