#pragma once

#include <QPointF>
#include <QRectF>
#include <QSize>
#include <vector>

class QPainter;
class GameBlock;
class SceneField;

// The panels that show every player's coming block, painted in 2D over the
// scene: one square panel in the top right corner, or a row panel at the
// bottom (one under each half in splitscreen).
class PreviewPainter {
public:
    enum Position { Off = 0, Top = 1, Bottom = 2 };

    struct Layout {
        std::vector<QRectF> panels;
        // Where slot 0's block sits (left edge, bottom line), once per panel.
        std::vector<QPointF> anchors;
        float cell = 12;
        float slotStep = 60;
    };

    static Layout layout(int position, QSize size, float scale, bool splitscreen);
    // Where the boxes of the block waiting for slot goes, and none for a block
    // that is not at a park position.
    static std::vector<QRectF> boxes(const GameBlock& block, const Layout& layout, int position,
                                     int copy);

    static void paint(QPainter& painter, const SceneField& field, int position, QSize size,
                      float scale, bool splitscreen);
};
