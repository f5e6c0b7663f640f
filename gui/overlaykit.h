#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

class GuiController;
class GuiMetrics;
class GuiSession;
class MenuModel;
class QPainter;
struct MenuEntry;

// The colours of the 2D screens.
namespace OverlayColours {
inline const QColor kWhite(255, 255, 255);
inline const QColor kNormal(85, 85, 85);
inline const QColor kDisabled(45, 45, 45);
inline const QColor kText(255, 255, 255, 191);
inline const QColor kLayer(0, 0, 0, 191);
inline const QColor kBar(64, 64, 64, 191);
inline const QColor kSelection(85, 85, 85, 191);
}  // namespace OverlayColours

// What every painter of a 2D screen draws with: sizes scaled to the view,
// panels, entries as buttons (entered in the hit map for the mouse) and text
// fields with their caret.
class OverlayKit {
public:
    OverlayKit(GuiController& gui, const GuiMetrics& metrics);

    // The caret's opacity for a pulse counter of 0 to 100: out and in once a second.
    static double caretAlpha(int pulse);
    // The font made smaller, when needed, so that text fits into width.
    static QFont fitted(QFont font, const QString& text, int width);

protected:
    int scaled(double v) const;
    void panel(QPainter& p, const QRectF& r) const;
    QColor entryColour(const MenuEntry& e, bool current) const;
    // A button-like entry at a rectangle, entered in the hit map.
    void paintButton(QPainter& p, const MenuEntry& e, const QRect& r, int fontRole,
                     Qt::Alignment align);
    // The text of a field being edited or shown, with caret and selection.
    void paintFieldText(QPainter& p, const QRect& r, const QString& text, bool editing, bool masked,
                        const QColor& colour);

    GuiController& gui_;
    GuiSession& session_;
    MenuModel& menus_;
    const GuiMetrics& m_;
};
