#include "gui/hudpainter.h"

#include <QFontMetrics>
#include <QPainter>
#include <cmath>

#include "game/gameblock.h"
#include "gui/guicontroller.h"
#include "gui/guimetrics.h"

using namespace OverlayColours;

namespace {

QColor playerColour(int colour) {
    const Rgb c = GameBlock::colourRgb(colour);
    return QColor(c.red, c.green, c.blue);
}

}  // namespace

QString HudPainter::colourName(int colour) {
    switch (colour) {
        case 0:
            return tr("Red");
        case 1:
            return tr("Blue");
        case 2:
            return tr("Green");
        case 3:
            return tr("Yellow");
        case 4:
            return tr("Magenta");
        case 5:
            return tr("Cyan");
        default:
            return tr("Auto");
    }
}

QString HudPainter::statusText(int status) {
    switch (status) {
        case GamePlayer::Connecting:
            return tr("Connecting");
        case GamePlayer::Waiting:
            return tr("Waiting");
        case GamePlayer::Ready:
            return tr("Ready");
        case GamePlayer::Playing:
            return tr("Playing");
        case GamePlayer::Spectating:
            return tr("Spectating");
        case GamePlayer::Pausing:
            return tr("Pausing");
        default:
            return QString();
    }
}

void HudPainter::paintHud(QPainter& p) {
    const int w = m_.width();
    const int h = m_.height();
    ScoreBoard& score = session_.score();

    const int side = scaled(108) + 10;
    int y = 5;
    if (menus_.options().showPreview == 1) {
        y += side + 5;
    }
    p.setFont(m_.font(GuiMetrics::Panel));
    const QString captions[2] = {tr("Score") + QLatin1Char(':'), tr("Time") + QLatin1Char(':')};
    const QString values[2] = {QString::number(score.shownScore()), score.shownTime()};
    for (int i = 0; i < 2; ++i) {
        const QRect r(w - side - 5, y, side, scaled(22));
        panel(p, r);
        p.setPen(kText);
        const QRect inner = r.adjusted(scaled(5), 0, -scaled(5), 0);
        p.setFont(m_.font(GuiMetrics::Panel));
        p.drawText(inner, Qt::AlignLeft | Qt::AlignVCenter, captions[i]);
        const int room =
            inner.width() - QFontMetrics(p.font()).horizontalAdvance(captions[i]) - scaled(4);
        p.setFont(fitted(m_.font(GuiMetrics::Panel), values[i], room));
        p.drawText(inner, Qt::AlignRight | Qt::AlignVCenter, values[i]);
        y = r.bottom() + 5;
    }

    if (menus_.options().showFPS) {
        p.setFont(m_.font(GuiMetrics::Large));
        p.setPen(kText);
        p.drawText(QRect(0, 5, w, h), Qt::AlignHCenter | Qt::AlignTop,
                   QString::number(score.fps()) + QLatin1Char(' ') + tr("FPS"));
    }

    PointLabels& labels = session_.labels();
    labels.expire();
    p.setFont(m_.font(GuiMetrics::Label));
    const QList<int> centres =
        session_.splitscreen() ? QList<int>{w / 4, w * 3 / 4} : QList<int>{w / 2};
    for (const GamePoints& label : labels.labels()) {
        const qint64 age = label.age();
        const int y = int(PointLabels::y(label.row(), age, session_.fieldsizeX(), h));
        QColor c = kWhite;
        c.setAlphaF(PointLabels::alpha(age));
        p.setPen(c);
        for (int x : centres) {
            p.drawText(QRect(x - w / 4, y - h, w / 2, h), Qt::AlignHCenter | Qt::AlignBottom,
                       QStringLiteral("+ ") + QString::number(label.points()));
        }
    }
}

void HudPainter::paintPlayerList(QPainter& p) {
    const GuiState top = session_.stack().top();
    const bool full = top == GuiState::Lobby || (top == GuiState::Game && session_.tabHeld()) ||
                      session_.stack().base() == GuiState::Lobby;
    const bool kick = session_.kickingPossible();
    const int rows = session_.maxPlayers();
    const int height = scaled(rows * 22 + 34);
    const int width = full ? scaled(kick ? 370 : 330) : scaled(230);
    const QRect box =
        full ? QRect((m_.width() - width) / 2, (m_.height() - height) / 2, width, height)
             : QRect(5, 5, width, height);
    panel(p, box);

    const int left = box.left() + scaled(8);
    const int right = box.right() - scaled(kick ? 48 : 8);
    const int statusX = box.left() + scaled(full ? 220 : 125);
    const int colourX = box.left() + scaled(125);
    const int rowHeight = scaled(22);
    const auto line = [&](int baseline) {
        return QRect(left, baseline - rowHeight, right - left, rowHeight);
    };

    p.setFont(m_.font(GuiMetrics::Panel));
    QFontMetrics fm(p.font());
    p.setPen(kWhite);
    const int headerBase = box.top() + scaled(22);
    const auto text = [&](int x, int baseline, const QString& s, Qt::Alignment a = Qt::AlignLeft) {
        QRect r = line(baseline);
        r.setLeft(x);
        p.drawText(r, a | Qt::AlignVCenter, fm.elidedText(s, Qt::ElideRight, r.width()));
    };
    // A column's text shrinks to the room before the next column.
    const auto cell = [&](int x, int next, int baseline, const QString& s) {
        const int room = next - x - scaled(4);
        p.setFont(fitted(m_.font(GuiMetrics::Panel), s, room));
        p.drawText(QRect(x, baseline - rowHeight, room, rowHeight),
                   Qt::AlignLeft | Qt::AlignVCenter, s);
        p.setFont(m_.font(GuiMetrics::Panel));
    };
    const int pingLeft = right - fm.horizontalAdvance(QStringLiteral("9999"));
    text(left, headerBase, tr("Name"));
    if (full) {
        text(colourX, headerBase, tr("Color"));
    }
    text(statusX, headerBase, tr("Status"));
    text(left, headerBase, tr("Ping"), Qt::AlignRight);

    const QList<int> kickList = session_.kickList();
    const PlayerTable& players = session_.players();
    for (int i = 0; i < rows; ++i) {
        const int baseline = box.top() + scaled(35 + 22 * i) + rowHeight / 2;
        const PlayerTable::Player* pl = players.atPosition(i);
        if (pl == nullptr) {
            p.setPen(kNormal);
            text(left, baseline, QStringLiteral("..."));
            continue;
        }
        const int kickIndex = kick ? int(kickList.indexOf(pl->connId)) : -1;
        if (kickIndex >= 0) {
            const QRect bar(box.left() + 2, baseline - rowHeight, box.width() - 4, rowHeight);
            if (kickIndex == menus_.currentEntry()) {
                p.fillRect(bar, kBar);
                p.setPen(QPen(QColor(255, 255, 255, 96), 1));
                p.drawRect(bar);
            }
            menus_.hitMap().insert(kickIndex, bar);
            p.setPen(kWhite);
            p.drawText(QRect(right, bar.top(), box.right() - right, bar.height()), Qt::AlignCenter,
                       QStringLiteral("x"));
        }
        p.setPen(playerColour(pl->colour));
        const int nameWidth = (full ? colourX : statusX) - left - scaled(4);
        p.drawText(QRect(left, baseline - rowHeight, nameWidth, rowHeight),
                   Qt::AlignLeft | Qt::AlignVCenter,
                   fm.elidedText(pl->name, Qt::ElideRight, nameWidth));
        if (full) {
            p.setPen(pl->autoColour ? kWhite : playerColour(pl->colour));
            cell(colourX, statusX, baseline,
                 pl->autoColour ? colourName(-1) : colourName(pl->colour));
        }
        p.setPen(kWhite);
        cell(statusX, pingLeft, baseline, statusText(pl->status));
        text(left, baseline, QString::number(players.ping(pl->connId)), Qt::AlignRight);
    }
}

void HudPainter::paintChat(QPainter& p, int bottom) {
    ChatLog& chat = session_.chat();
    chat.expire();
    const double s = m_.scale();
    const int column = session_.kickingPossible() ? 370 : 330;
    const int wrap = std::max(10, int((m_.width() - column * s) / 2 - 10 * s));
    const int limit = int(122 * s) + 10 + 15;
    p.setFont(m_.font(GuiMetrics::Chat));
    p.setPen(kText);
    QFontMetrics fm(p.font());
    int y = bottom;
    std::size_t kept = 0;
    for (const GameChatMessage& line : chat.lines()) {
        const QRect r = fm.boundingRect(QRect(0, 0, wrap, 100000), Qt::TextWordWrap, line.text());
        if (y - r.height() < limit) {
            break;
        }
        y -= r.height();
        p.drawText(QRect(scaled(5), y, wrap, r.height()), Qt::TextWordWrap, line.text());
        y -= 6;
        ++kept;
    }
    chat.keepNewest(kept);
}

void HudPainter::paintMessageBox(QPainter& p, bool centred) {
    const GuiStack& stack = session_.stack();
    QString text = stack.message();
    if (!stack.countdown().isEmpty()) {
        text =
            text.isEmpty() ? stack.countdown() : stack.countdown() + QStringLiteral("\n\n") + text;
    }
    if (text.isEmpty()) {
        return;
    }
    p.setFont(m_.font(GuiMetrics::Message));
    p.setPen(kText);
    const int width = m_.width() - 20;
    const QRect bounds = QFontMetrics(p.font()).boundingRect(
        QRect(0, 0, width, 100000), Qt::AlignHCenter | Qt::TextWordWrap, text);
    int top = (m_.height() - bounds.height()) / 2;
    if (!centred) {
        top = (scaled(session_.maxPlayers() * 22 + 34) + m_.height()) / 2 + 25;
    }
    p.drawText(QRect(10, top, width, bounds.height()), Qt::AlignHCenter | Qt::TextWordWrap, text);
}

void HudPainter::paintReachability(QPainter& p) {
    const QString& line = session_.reachability();
    if (line.isEmpty()) {
        return;
    }
    const int pad = scaled(8);
    // Clear of the score and time panels at the right edge, wrapped when longer.
    const int room = std::max(scaled(100), m_.width() - 2 * (scaled(108) + 20 + pad));
    p.setFont(m_.font(GuiMetrics::Panel));
    const int flags = Qt::AlignHCenter | Qt::TextWordWrap;
    const QRect text = QFontMetrics(p.font()).boundingRect(QRect(0, 0, room, 100000), flags, line);
    const int listTop = (m_.height() - scaled(session_.maxPlayers() * 22 + 34)) / 2;
    // On a panel of its own: the room's walls behind it are light.
    const QRect box((m_.width() - text.width()) / 2 - pad,
                    listTop - scaled(6) - text.height() - pad, text.width() + 2 * pad,
                    text.height() + pad);
    panel(p, box);
    p.setPen(kText);
    // As wide as measured, so that it wraps where it was measured.
    p.drawText(QRect((m_.width() - room) / 2, box.top(), room, box.height()),
               flags | Qt::AlignVCenter, line);
}

void HudPainter::paintChatInput(QPainter& p, int top) {
    p.setFont(m_.font(GuiMetrics::Chat));
    const int height = QFontMetrics(p.font()).height() + scaled(6);
    const int width = std::max(scaled(200), m_.width() / 2 - scaled(10));
    const QRect r(scaled(5), top + 6, width, height);
    panel(p, r);
    p.setPen(kText);
    const QString label = tr("Say") + QStringLiteral(": ");
    const int labelWidth = QFontMetrics(p.font()).horizontalAdvance(label);
    const QRect inner = r.adjusted(scaled(4), 0, -scaled(4), 0);
    p.drawText(inner, Qt::AlignLeft | Qt::AlignVCenter, label);
    paintFieldText(p, inner.adjusted(labelWidth, 0, 0, 0), gui_.input().chatLine(), true, false,
                   kWhite);
}

void HudPainter::paintPauseSign(QPainter& p) {
    const double d = 40 * m_.scale();
    const QRectF circle(m_.width() - 15 - d, 15, d, d);
    QColor c = kWhite;
    c.setAlphaF(std::abs(50 - session_.pulse()) / 50.0);
    p.setPen(QPen(c, std::max(1.0, 3 * m_.scale())));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(circle);
    const double barW = d * 0.12;
    const double barH = d * 0.45;
    const QPointF centre = circle.center();
    p.fillRect(QRectF(centre.x() - barW * 1.75, centre.y() - barH / 2, barW, barH), c);
    p.fillRect(QRectF(centre.x() + barW * 0.75, centre.y() - barH / 2, barW, barH), c);
}
