#include "gui/highscorepainter.h"

#include <QFontMetrics>
#include <QPainter>

#include "gui/guicontroller.h"
#include "gui/guimetrics.h"

using namespace OverlayColours;

void HighscorePainter::paint(QPainter& p) {
    const MenuScreen screen = menus_.menu(GuiState::HighscoreMenu);
    const int w = m_.width();
    const int margin = std::max(scaled(15), (w - scaled(620)) / 2);
    const int width = w - 2 * margin;

    int y = scaled(15);
    p.setFont(m_.font(GuiMetrics::Menu));
    p.setPen(kWhite);
    int h = QFontMetrics(p.font()).height();
    p.drawText(QRect(0, y, w, h), Qt::AlignCenter, screen.title);
    y += h + scaled(6);

    p.setFont(m_.font(GuiMetrics::SmallMenu));
    h = QFontMetrics(p.font()).height() + scaled(4);
    p.setPen(kText);
    p.drawText(QRect(0, y, w, h), Qt::AlignCenter, screen.text);
    MenuEntry previous = screen.entries.value(1);
    MenuEntry next = screen.entries.value(2);
    previous.text = QStringLiteral("< ") + previous.text;
    next.text += QStringLiteral(" >");
    paintButton(p, previous, QRect(margin, y, width / 3, h), GuiMetrics::SmallMenu, Qt::AlignLeft);
    paintButton(p, next, QRect(margin + width * 2 / 3, y, width / 3, h), GuiMetrics::SmallMenu,
                Qt::AlignRight);
    y += h + scaled(10);

    const double columns[6] = {0.0, 0.46, 0.56, 0.65, 0.76, 1.0};
    const auto cell = [&](int c, int top, int height) {
        const int x0 = margin + int(width * columns[c]);
        const int x1 = margin + int(width * columns[c + 1]);
        return QRect(x0, top, x1 - x0 - scaled(6), height);
    };
    p.setFont(m_.font(GuiMetrics::Underlined));
    const int rowH = QFontMetrics(p.font()).height() + scaled(8);
    p.setPen(kWhite);
    const QString headers[5] = {tr("Player(s)"), tr("Pts."), tr("Lns."), tr("Playtime"),
                                tr("Date")};
    for (int c = 0; c < 5; ++c) {
        p.drawText(cell(c, y, rowH),
                   (c >= 1 && c <= 2 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter,
                   headers[c]);
    }
    y += rowH;
    p.setFont(m_.font(GuiMetrics::List));
    const QFontMetrics fm(p.font());
    const QList<const GameResult*> rows = session_.highscores().rows();
    if (rows.isEmpty()) {
        p.setPen(kNormal);
        p.drawText(QRect(margin, y, width, rowH), Qt::AlignCenter, QStringLiteral("..."));
    }
    for (int i = 0; i < rows.size(); ++i) {
        const GameResult* r = rows[i];
        p.setPen(i == 0 ? kWhite : kText);
        const QString cells[5] = {QStringLiteral("%1. ").arg(i + 1) + r->players(),
                                  QString::number(r->score()), QString::number(r->lines()),
                                  r->playtime(), r->date()};
        for (int c = 0; c < 5; ++c) {
            const QRect cr = cell(c, y, rowH);
            p.drawText(cr, (c >= 1 && c <= 2 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter,
                       fm.elidedText(cells[c], Qt::ElideRight, cr.width()));
        }
        y += rowH;
    }

    p.setFont(m_.font(GuiMetrics::SmallMenu));
    h = QFontMetrics(p.font()).height() + scaled(4);
    const int backY = std::max(y + scaled(10), m_.height() - h - scaled(20));
    paintButton(p, screen.entries.value(0), QRect(margin, backY, width, h), GuiMetrics::SmallMenu,
                Qt::AlignCenter);
}
