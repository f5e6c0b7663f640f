#include "previewpainter.h"

#include <QMutexLocker>
#include <QPainter>
#include <cmath>

#include "game/gamesimulation.h"
#include "scenefield.h"

PreviewPainter::Layout PreviewPainter::layout(int position, QSize size, float scale,
                                              bool splitscreen) {
    Layout l;
    l.cell = 12 * scale;
    l.slotStep = 60 * scale;
    const float w = float(size.width());
    const float h = float(size.height());
    if (position == Top) {
        const float side = 108 * scale + 10;
        l.panels.emplace_back(w - 5 - side, 5, side, side);
        l.anchors.emplace_back(w - side, 48 * scale + 10);
    } else if (position == Bottom) {
        const float pw = 228 * scale + 10;
        const float ph = 48 * scale + 10;
        const std::vector<float> centres =
            splitscreen ? std::vector<float>{w / 4, 3 * w / 4} : std::vector<float>{w / 2};
        for (float c : centres) {
            l.panels.emplace_back(c - pw / 2, h - 5 - ph, pw, ph);
            l.anchors.emplace_back(c - pw / 2 + 5, h - 10);
        }
    }
    return l;
}

std::vector<QRectF> PreviewPainter::boxes(const GameBlock& block, const Layout& layout,
                                          int position, int copy) {
    std::vector<QRectF> out;
    // A coming block waits at its slot's park position, well off the field.
    const int slot = GameSimulation::parkedSlot(block.x(), block.y());
    if (slot < 0 || copy < 0 || std::size_t(copy) >= layout.anchors.size()) {
        return out;
    }
    // Top: two rows of two; bottom: all four in one row.
    QPointF anchor = layout.anchors[std::size_t(copy)];
    if (position == Top) {
        anchor += QPointF(layout.slotStep * float(slot % 2), layout.slotStep * float(slot / 2));
    } else {
        anchor += QPointF(layout.slotStep * float(slot), 0);
    }
    const float side = std::round(layout.cell);
    const int r = block.rotation();
    for (const GameBox& b : block.boxes()) {
        const float column = float(b.x(r) / 50);
        const float row = float(b.y(r) / 50);
        out.emplace_back(anchor.x() + layout.cell * column, anchor.y() - layout.cell * (row + 1),
                         side, side);
    }
    return out;
}

void PreviewPainter::paint(QPainter& painter, const SceneField& field, int position, QSize size,
                           float scale, bool splitscreen) {
    const Layout l = layout(position, size, scale, splitscreen);
    if (l.panels.empty()) {
        return;
    }
    painter.save();
    // The look of the HUD's other panels.
    painter.setPen(QPen(QColor(255, 255, 255, 64), 1));
    painter.setBrush(QColor(0, 0, 0, 191));
    const qreal corner = std::round(6 * scale);
    for (const QRectF& panel : l.panels) {
        painter.drawRoundedRect(panel, corner, corner);
    }
    painter.setPen(QPen(Qt::black, 1));
    QMutexLocker lock(&field.blockMutex());
    field.mirror().forEachBlock([&](const GameBlock& block) {
        for (std::size_t copy = 0; copy < l.anchors.size(); ++copy) {
            const std::vector<QRectF> rects = boxes(block, l, position, int(copy));
            for (std::size_t i = 0; i < rects.size(); ++i) {
                const Rgb c = GameBlock::colourRgb(block.boxes()[i].colour());
                painter.setBrush(QColor(c.red, c.green, c.blue));
                painter.drawRect(rects[i]);
            }
        }
    });
    painter.restore();
}
