#pragma once

// Small stand-ins for the room textures: a stone colour and a normal map of
// bevelled tiles, so the textured and bump-mapped paths can be drawn and told
// apart without the game's own images.
#include <QImage>
#include <QVector3D>
#include <cmath>

#include "gui/scene/scenerenderer.h"

inline SceneTextures testTextures() {
    constexpr int kSize = 64;
    QImage colour(kSize, kSize, QImage::Format_RGBA8888);
    QImage bump(kSize, kSize, QImage::Format_RGBA8888);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            // Distance to the tile's edge; the last 8 texels slope down to it.
            const int dx = std::min(x, kSize - 1 - x);
            const int dy = std::min(y, kSize - 1 - y);
            QVector3D n(0, 0, 1);
            if (std::min(dx, dy) < 8) {
                n = dx < dy ? QVector3D(x < kSize / 2 ? -1 : 1, 0, 1)
                            : QVector3D(0, y < kSize / 2 ? 1 : -1, 1);
            }
            n.normalize();
            bump.setPixel(x, y,
                          qRgba(int((n.x() * 0.5f + 0.5f) * 255), int((n.y() * 0.5f + 0.5f) * 255),
                                int((n.z() * 0.5f + 0.5f) * 255), 255));
            const int g = 150 + (x * 7 + y * 13) % 40;
            colour.setPixel(x, y, qRgba(g, g - 10, g - 30, 255));
        }
    }
    return {colour, colour, bump};
}
