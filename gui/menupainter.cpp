#include "gui/menupainter.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>
#include <cmath>
#include <optional>

#include "gui/guicontroller.h"
#include "gui/guimetrics.h"
#include "gui/menumodel.h"

namespace {

// Room for a field's value or its placeholder, whichever is wider: rounded
// up, since the text is elided when it needs a fraction of a pixel more.
int fieldWidth(const QFont& font, const MenuEntry& e) {
    const QFontMetricsF f(font);
    return int(
        std::ceil(std::max(f.horizontalAdvance(e.placeholder), f.horizontalAdvance(e.value))));
}

}  // namespace

using namespace OverlayColours;

void MenuPainter::paintEntry(QPainter& p, const MenuEntry& e, int y, const MenuFonts& fonts,
                             int colonX) {
    const QFontMetrics fm(fonts.entry);
    const QFontMetrics ffm(fonts.field);
    const QColor colour = entryColour(e, menus_.currentEntry() == e.index);
    const bool isField = e.editState != GuiState::NoState;
    const bool hasValue = isField || !e.value.isEmpty();
    const QString label = hasValue ? e.text + QStringLiteral(": ") : e.text;
    const int labelWidth = fm.horizontalAdvance(label);
    const int valueWidth = !hasValue ? 0
                           : isField ? fieldWidth(fonts.field, e)
                                     : fm.horizontalAdvance(e.value);
    const int height = std::max(fm.height(), ffm.height());
    // Entries with a value line up at their colon; plain ones are centred.
    const int left =
        hasValue && colonX >= 0 ? colonX - labelWidth : (m_.width() - labelWidth - valueWidth) / 2;
    const QRect line(left, y - height / 2, labelWidth + valueWidth, height);

    p.setFont(fonts.entry);
    p.setPen(colour);
    p.drawText(QRect(line.left(), line.top(), labelWidth, height), Qt::AlignLeft | Qt::AlignVCenter,
               label);
    const QRect valueRect(line.left() + labelWidth, line.top(), valueWidth, height);
    if (isField) {
        p.setFont(fonts.field);
        const bool editing = session_.stack().top() == e.editState;
        if (editing) {
            p.fillRect(valueRect.adjusted(-4, 1, 4, -1), QColor(255, 255, 255, 24));
        }
        paintFieldText(p, valueRect, e.value, editing, e.masked, colour);
    } else if (hasValue) {
        p.drawText(valueRect, Qt::AlignLeft | Qt::AlignVCenter, e.value);
    }
    if (e.enabled) {
        menus_.hitMap().insert(e.index, line.adjusted(-scaled(10), 0, scaled(10), 0));
    }
}

void MenuPainter::paint(QPainter& p, GuiState state) {
    const MenuScreen screen = menus_.menu(state);
    QList<MenuEntry> entries = screen.entries;
    std::optional<MenuEntry> about;
    if (state == GuiState::MainMenu && !entries.isEmpty()) {
        about = entries.takeLast();
    }

    int top = scaled(20);
    if (!screen.title.isEmpty()) {
        p.setFont(m_.font(GuiMetrics::Menu));
        p.setPen(kWhite);
        const int h = QFontMetrics(p.font()).height();
        p.drawText(QRect(0, top, m_.width(), h), Qt::AlignCenter, screen.title);
        top += h + scaled(10);
    }
    if (!screen.text.isEmpty()) {
        p.setFont(m_.font(GuiMetrics::SmallMenu));
        p.setPen(kText);
        const int h = QFontMetrics(p.font()).height();
        p.drawText(QRect(0, top, m_.width(), h), Qt::AlignCenter, screen.text);
        top += h + scaled(10);
    }

    const int available = m_.height() - top - scaled(20);
    const Column column = fit(entries, available);
    const int blockHeight = column.step * int(entries.size());
    int y = std::max(top, top + (available - blockHeight) / 2) + column.step / 2;
    for (const MenuEntry& e : entries) {
        paintEntry(p, e, y, column.fonts, column.colonX);
        y += column.step;
    }
    if (about) {
        paintMainMenuAbout(p, *about);
    }
}

MenuPainter::Column MenuPainter::fit(const QList<MenuEntry>& entries, int available) const {
    const int maxWidth = m_.width() - 2 * scaled(10);
    Column c;
    for (GuiMetrics::FontRole role : {GuiMetrics::Menu, GuiMetrics::SmallMenu}) {
        MenuFonts& fonts = c.fonts;
        fonts.entry = m_.font(role);
        fonts.field = m_.font(GuiMetrics::Field);
        fonts.field.setPixelSize(fonts.entry.pixelSize());
        int labels = 0;
        int values = 0;
        int plain = 0;
        for (const MenuEntry& e : entries) {
            const bool isField = e.editState != GuiState::NoState;
            const QFontMetrics fm(fonts.entry);
            if (!isField && e.value.isEmpty()) {
                plain = std::max(plain, fm.horizontalAdvance(e.text));
                continue;
            }
            labels = std::max(labels, fm.horizontalAdvance(e.text + QStringLiteral(": ")));
            values = std::max(values,
                              isField ? fieldWidth(fonts.field, e) : fm.horizontalAdvance(e.value));
        }
        const int width = std::max(plain, labels + values);
        double factor = width > maxWidth ? double(maxWidth) / width : 1.0;
        const int rows = std::max(1, int(entries.size()));
        const bool smallest = role == GuiMetrics::SmallMenu;
        const double tall = QFontMetrics(fonts.entry).height() * 1.3 * factor * rows;
        if (smallest && tall > available) {
            // Too many entries even in the small font: smaller still, so all show.
            factor *= available / tall;
        }
        if (factor < 1.0) {
            fonts.entry.setPixelSize(std::max(1, int(fonts.entry.pixelSize() * factor)));
            fonts.field.setPixelSize(fonts.entry.pixelSize());
            labels = int(labels * factor);
            values = int(values * factor);
        }
        c.step = int(QFontMetrics(fonts.entry).height() * 1.3);
        if (smallest) {
            c.step = std::min(c.step, available / rows);
        }
        c.colonX = labels > 0 ? (m_.width() - labels - values) / 2 + labels : -1;
        if (c.step * entries.size() <= available) {
            break;
        }
    }
    return c;
}

void MenuPainter::paintMainMenuAbout(QPainter& p, const MenuEntry& about) {
    const QFont& font = m_.font(GuiMetrics::SmallMenu);
    const QFontMetrics fm(font);
    const int inset = scaled(5);
    const QRect r(m_.width() - inset - fm.horizontalAdvance(about.text),
                  m_.height() - inset - fm.height(), fm.horizontalAdvance(about.text), fm.height());
    paintButton(p, about, r, GuiMetrics::SmallMenu, Qt::AlignRight);
}
