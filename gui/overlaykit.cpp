#include "gui/overlaykit.h"

#include <QFontMetrics>
#include <QPainter>
#include <cmath>

#include "gui/guicontroller.h"
#include "gui/guimetrics.h"

using namespace OverlayColours;

OverlayKit::OverlayKit(GuiController& gui, const GuiMetrics& metrics)
    : gui_(gui), session_(gui.session()), menus_(gui.menus()), m_(metrics) {}

QFont OverlayKit::fitted(QFont font, const QString& text, int width) {
    const int needed = QFontMetrics(font).horizontalAdvance(text);
    if (needed > width && width > 0) {
        font.setPixelSize(std::max(1, font.pixelSize() * width / needed));
    }
    return font;
}

int OverlayKit::scaled(double v) const {
    return m_.scaled(v);
}

void OverlayKit::panel(QPainter& p, const QRectF& r) const {
    p.setPen(QPen(QColor(255, 255, 255, 64), 1));
    p.setBrush(QColor(0, 0, 0, 191));
    p.drawRoundedRect(r, scaled(6), scaled(6));
    p.setBrush(Qt::NoBrush);
}

QColor OverlayKit::entryColour(const MenuEntry& e, bool current) const {
    if (!e.enabled) {
        return kDisabled;
    }
    return current ? kWhite : kNormal;
}

void OverlayKit::paintFieldText(QPainter& p, const QRect& r, const QString& text, bool editing,
                                bool masked, const QColor& colour) {
    const QString shown = masked ? QString(text.size(), QLatin1Char('*')) : text;
    QFontMetrics fm(p.font());
    if (editing) {
        const TextField& f = gui_.editor().field();
        // A text longer than its box (a host name) scrolls so the caret stays in view.
        const int caretX = fm.horizontalAdvance(shown.left(f.cursor()));
        const int shift = std::max(0, caretX - r.width() + scaled(4));
        const QRect line = r.adjusted(-shift, 0, 0, 0);
        p.save();
        p.setClipRect(r);
        if (f.selectionLength() > 0) {
            const int x0 = fm.horizontalAdvance(shown.left(f.selectionStart()));
            const int x1 =
                fm.horizontalAdvance(shown.left(f.selectionStart() + f.selectionLength()));
            p.fillRect(QRect(line.left() + x0, r.top() + 2, x1 - x0, r.height() - 4), kSelection);
        }
        p.setPen(kWhite);
        p.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, shown);
        QColor caret = kWhite;
        caret.setAlphaF(caretAlpha(session_.pulse()));
        const int x = line.left() + caretX;
        p.setPen(QPen(caret, std::max(1, scaled(1.5))));
        const int margin = (r.height() - fm.height()) / 2;
        p.drawLine(x, r.top() + margin, x, r.bottom() - margin);
        p.restore();
        return;
    }
    p.setPen(colour);
    p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter,
               fm.elidedText(shown, Qt::ElideMiddle, r.width()));
}

void OverlayKit::paintButton(QPainter& p, const MenuEntry& e, const QRect& r, int fontRole,
                             Qt::Alignment align) {
    const bool current = menus_.currentEntry() == e.index;
    p.setFont(m_.font(GuiMetrics::FontRole(fontRole)));
    p.setPen(entryColour(e, current));
    const QString text = e.value.isEmpty() ? e.text : e.text + QStringLiteral(": ") + e.value;
    p.drawText(r, align | Qt::AlignVCenter, text);
    if (e.enabled) {
        menus_.hitMap().insert(e.index, r);
    }
}

double OverlayKit::caretAlpha(int pulse) {
    const int q = pulse > 50 ? pulse - 50 : pulse;
    return std::abs(50 - 2 * q) / 50.0;
}
