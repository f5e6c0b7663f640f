#include "gui/serverlistpainter.h"

#include <QFontMetrics>
#include <QPainter>

#include "gui/guicontroller.h"
#include "gui/guimetrics.h"

using namespace OverlayColours;

namespace {

// A small padlock: the mark of a server with a password.
void paintLock(QPainter& p, const QRectF& r, const QColor& colour) {
    const double w = r.width();
    const QRectF body(r.left() + w * 0.15, r.top() + r.height() * 0.45, w * 0.7, r.height() * 0.45);
    p.save();
    p.setPen(QPen(colour, std::max(1.0, w * 0.12)));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(body.left() + w * 0.12, r.top() + r.height() * 0.12, body.width() - w * 0.24,
                     r.height() * 0.6),
              0, 180 * 16);
    p.fillRect(body, colour);
    p.restore();
}

}  // namespace

ServerListPainter::ServerListPainter(GuiController& gui, const GuiMetrics& metrics)
    : OverlayKit(gui, metrics),
      model_(session_.servers()),
      screen_(menus_.menu(GuiState::ServerList)) {
    for (const MenuEntry& e : screen_.entries) {
        entries_.insert(e.index, e);
    }
    margin_ = std::max(scaled(20), (m_.width() - scaled(600)) / 2);
    width_ = m_.width() - 2 * margin_;
    rowHeight_ = QFontMetrics(m_.font(GuiMetrics::Underlined)).height() + scaled(6);
}

void ServerListPainter::paint(QPainter& p) {
    int y = paintTitle(p, scaled(15));
    y = paintFilters(p, y);
    const int tableTop = paintHeaders(p, y);
    const QString text = notice();
    if (!text.isEmpty()) {
        paintNotice(p, text, tableTop);
    } else {
        paintRows(p, tableTop);
    }
    y = tableTop + ServerListModel::kPageSize * rowHeight_ + scaled(6);
    paintButtons(p, paintPageLine(p, y));
}

QRect ServerListPainter::columnRect(int column, int top, int height) const {
    static constexpr double kColumns[4] = {0.0, 0.52, 0.74, 0.88};
    const int left = margin_ + scaled(24);
    const int room = width_ - scaled(24);
    const int x0 = left + int(room * kColumns[column]);
    const int x1 = column == 3 ? margin_ + width_ : left + int(room * kColumns[column + 1]);
    return QRect(x0, top, x1 - x0 - scaled(6), height);
}

int ServerListPainter::paintTitle(QPainter& p, int y) {
    p.setFont(m_.font(GuiMetrics::Menu));
    p.setPen(kWhite);
    const int h = QFontMetrics(p.font()).height();
    p.drawText(QRect(0, y, m_.width(), h), Qt::AlignCenter, screen_.title);
    return y + h + scaled(10);
}

int ServerListPainter::paintFilters(QPainter& p, int y) {
    p.setFont(m_.font(GuiMetrics::Panel));
    const int h = QFontMetrics(p.font()).height() + scaled(4);
    p.setPen(kText);
    p.drawText(QRect(margin_, y, width_, h), Qt::AlignLeft | Qt::AlignVCenter, tr("Filter"));
    y += h;
    for (int i = 0; i < 4; ++i) {
        const QRect r(margin_ + (i % 2) * width_ / 2, y + (i / 2) * h, width_ / 2, h);
        paintButton(p, entries_.value(i), r, GuiMetrics::Panel, Qt::AlignLeft);
    }
    return y + 2 * h + scaled(10);
}

int ServerListPainter::paintHeaders(QPainter& p, int y) {
    const bool listShown = model_.listShown();
    for (int c = 0; c < 4; ++c) {
        MenuEntry header = entries_.value(ServerListModel::FirstHeader + c);
        if (model_.sortColumn() == c) {
            header.text +=
                model_.ascending() ? QStringLiteral(" \u25b2") : QStringLiteral(" \u25bc");
        }
        const bool current = listShown && menus_.currentEntry() == header.index;
        p.setFont(m_.font(GuiMetrics::Underlined));
        p.setPen(current ? kWhite : kText);
        p.drawText(columnRect(c, y, rowHeight_), Qt::AlignLeft | Qt::AlignVCenter, header.text);
        if (listShown) {
            menus_.hitMap().insert(header.index, columnRect(c, y, rowHeight_));
        }
    }
    return y + rowHeight_;
}

QString ServerListPainter::notice() const {
    const MasterserverResult result = model_.result();
    if (result == MasterserverResult::ResultNone) {
        return tr("Retrieving severlist...");
    }
    if (result == MasterserverResult::MasterUnreachable && model_.received() == 0) {
        return tr(
            "The masterserver could not be reached, so you can only connect to servers "
            "directly.");
    }
    if (model_.filtered() == 0) {
        return model_.received() == 0
                   ? tr("Could not find any active servers.")
                   : tr("Could not find any active servers matching these filters.");
    }
    return QString();
}

void ServerListPainter::paintNotice(QPainter& p, const QString& text, int top) {
    const int height = ServerListModel::kPageSize * rowHeight_;
    p.setFont(m_.font(GuiMetrics::Message));
    p.setPen(kText);
    if (model_.result() == MasterserverResult::ResultNone) {
        // A wheel turning with the pulse while the list comes.
        const int d = scaled(30);
        const QRectF arc(m_.width() / 2.0 - d / 2.0, top + height / 2.0 + scaled(20), d, d);
        p.setPen(QPen(kText, std::max(1, scaled(3))));
        p.drawArc(arc, -session_.pulse() * 36 * 16 / 10, 270 * 16);
        p.setPen(kText);
    }
    p.drawText(QRect(margin_, top, width_, height), Qt::AlignCenter | Qt::TextWordWrap, text);
}

void ServerListPainter::paintRows(QPainter& p, int top) {
    p.setFont(m_.font(GuiMetrics::List));
    const QFontMetrics fm(p.font());
    const QList<const ServerData*> joinable = model_.joinable();
    int y = top;
    for (const ServerData* s : model_.pageRows()) {
        const int joinIndex = int(joinable.indexOf(s));
        paintRow(p, *s, joinIndex >= 0 ? ServerListModel::FirstServer + joinIndex : -1, y, fm);
        y += rowHeight_;
    }
}

void ServerListPainter::paintRow(QPainter& p, const ServerData& s, int entry, int y,
                                 const QFontMetrics& fm) {
    const QRect r(margin_, y, width_, rowHeight_);
    if (entry >= 0 && entry == menus_.currentEntry()) {
        p.fillRect(r, kBar);
    }
    p.setPen(entry >= 0 ? kWhite : kNormal);
    if (s.ranked()) {
        p.drawText(QRect(margin_ + scaled(1), y, scaled(11), rowHeight_),
                   Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("\u2605"));
    }
    if (s.hasPassword()) {
        const double side = fm.height() * 0.7;
        paintLock(p, QRectF(margin_ + scaled(12), y + (rowHeight_ - side) / 2, side * 0.8, side),
                  p.pen().color());
    }
    const QString cells[4] = {s.name(), s.version(),
                              QStringLiteral("%1/%2").arg(s.players()).arg(s.maxPlayers()),
                              QString::number(s.ping())};
    for (int c = 0; c < 4; ++c) {
        QRect cr = columnRect(c, y, rowHeight_);
        if (c == 0 && s.isLan()) {
            // Found on a local network: the mark closes the name's column.
            const QString mark = tr("LAN");
            p.drawText(cr, Qt::AlignRight | Qt::AlignVCenter, mark);
            cr.setRight(cr.right() - fm.horizontalAdvance(mark) - scaled(6));
        }
        p.drawText(cr, Qt::AlignLeft | Qt::AlignVCenter,
                   fm.elidedText(cells[c], Qt::ElideRight, cr.width()));
    }
    if (entry >= 0) {
        menus_.hitMap().insert(entry, r);
    }
}

int ServerListPainter::paintPageLine(QPainter& p, int y) {
    p.setFont(m_.font(GuiMetrics::Panel));
    const int h = QFontMetrics(p.font()).height() + scaled(4);
    p.setPen(kText);
    p.drawText(QRect(margin_, y, width_, h), Qt::AlignCenter, screen_.text);
    if (entries_.contains(ServerListModel::PreviousPage)) {
        paintButton(p, entries_.value(ServerListModel::PreviousPage),
                    QRect(margin_, y, width_ / 3, h), GuiMetrics::Panel, Qt::AlignLeft);
    }
    if (entries_.contains(ServerListModel::NextPage)) {
        paintButton(p, entries_.value(ServerListModel::NextPage),
                    QRect(margin_ + width_ * 2 / 3, y, width_ / 3, h), GuiMetrics::Panel,
                    Qt::AlignRight);
    }
    return y + h + scaled(10);
}

void ServerListPainter::paintButtons(QPainter& p, int y) {
    p.setFont(m_.font(GuiMetrics::SmallMenu));
    const int h = QFontMetrics(p.font()).height() + scaled(4);
    paintButton(p, entries_.value(ServerListModel::Update), QRect(margin_, y, width_ / 2, h),
                GuiMetrics::SmallMenu, Qt::AlignCenter);
    paintButton(p, entries_.value(ServerListModel::Back),
                QRect(margin_ + width_ / 2, y, width_ / 2, h), GuiMetrics::SmallMenu,
                Qt::AlignCenter);
}
