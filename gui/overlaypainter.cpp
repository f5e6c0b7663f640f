#include "overlaypainter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <optional>

#include "game/appinfo.h"
#include "game/gameblock.h"
#include "gui/guicontroller.h"
#include "gui/guimetrics.h"

namespace {

const QColor kWhite(255, 255, 255);
const QColor kNormal(85, 85, 85);
const QColor kDisabled(45, 45, 45);
const QColor kText(255, 255, 255, 191);
const QColor kLayer(0, 0, 0, 191);
const QColor kBar(64, 64, 64, 191);
const QColor kSelection(85, 85, 85, 191);

// The font made smaller, when needed, so that text fits into width.
QFont fitted(QFont font, const QString& text, int width) {
    const int needed = QFontMetrics(font).horizontalAdvance(text);
    if (needed > width && width > 0) {
        font.setPixelSize(std::max(1, font.pixelSize() * width / needed));
    }
    return font;
}

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

QColor playerColour(int colour) {
    const Rgb c = GameBlock::colourRgb(colour);
    return QColor(c.red, c.green, c.blue);
}

}  // namespace

OverlayPainter::OverlayPainter(GuiController& gui, const GuiMetrics& metrics)
    : gui_(gui), m_(metrics) {}

int OverlayPainter::scaled(double v) const {
    return m_.scaled(v);
}

QString OverlayPainter::colourName(int colour) {
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

QString OverlayPainter::statusText(int status) {
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

double OverlayPainter::caretAlpha(int pulse) {
    const int q = pulse > 50 ? pulse - 50 : pulse;
    return std::abs(50 - 2 * q) / 50.0;
}

void OverlayPainter::panel(QPainter& p, const QRectF& r) const {
    p.setPen(QPen(QColor(255, 255, 255, 64), 1));
    p.setBrush(QColor(0, 0, 0, 191));
    p.drawRoundedRect(r, scaled(6), scaled(6));
    p.setBrush(Qt::NoBrush);
}

void OverlayPainter::paint(QPainter& p) {
    const GuiStack& stack = gui_.stack();
    const GuiState base = stack.base();
    const GuiState top = stack.top();
    const bool inGame = base == GuiState::Lobby || base == GuiState::Game;
    gui_.hitMap().clear();
    p.save();

    if (base == GuiState::Intro || base == GuiState::About) {
        paintIntroLayer(p);
    }
    if (inGame) {
        paintHud(p);
        paintPlayerList(p);
        if (top == GuiState::Lobby || top == GuiState::Game ||
            stack.aboveBase() == GuiState::ChatInput) {
            paintMessageBox(p, base != GuiState::Lobby);
        }
    }
    const GuiState menu = gui_.menuState();
    if (menu != GuiState::NoState) {
        paintLayer(p);
        if (inGame && !stack.showingError()) {
            paintPauseSign(p);
        }
        paintMenu(p, menu);
    }
    const int chatBottom = m_.height() * 3 / 4;
    if (top == GuiState::ChatInput) {
        paintChatInput(p, chatBottom);
    }
    if (top == GuiState::Notice) {
        paintLayer(p);
        paintMessageBox(p, true);
    } else {
        paintChat(p, chatBottom);
    }
    p.restore();
}

void OverlayPainter::paintIntroLayer(QPainter& p) {
    const QSize size(m_.width(), m_.height());
    if (gui_.stack().base() == GuiState::Intro) {
        gui_.intro().paint(p, size);
    } else {
        gui_.credits().paint(p, size);
    }
}

void OverlayPainter::paintLayer(QPainter& p) {
    p.fillRect(QRect(0, 0, m_.width(), m_.height()), kLayer);
}

// ---------------------------------------------------------------------------
// HUD

void OverlayPainter::paintHud(QPainter& p) {
    const int w = m_.width();
    const int h = m_.height();
    ScoreBoard& score = gui_.score();

    const int side = scaled(108) + 10;
    int y = 5;
    if (gui_.options().showPreview == 1) {
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

    if (gui_.options().showFPS) {
        p.setFont(m_.font(GuiMetrics::Large));
        p.setPen(kText);
        p.drawText(QRect(0, 5, w, h), Qt::AlignHCenter | Qt::AlignTop,
                   QString::number(score.fps()) + QLatin1Char(' ') + tr("FPS"));
    }

    PointLabels& labels = gui_.labels();
    labels.expire();
    p.setFont(m_.font(GuiMetrics::Label));
    const QList<int> centres =
        gui_.splitscreen() ? QList<int>{w / 4, w * 3 / 4} : QList<int>{w / 2};
    for (const GamePoints& label : labels.labels()) {
        const qint64 age = label.age();
        const int y = int(PointLabels::y(label.row(), age, gui_.fieldsizeX(), h));
        QColor c = kWhite;
        c.setAlphaF(PointLabels::alpha(age));
        p.setPen(c);
        for (int x : centres) {
            p.drawText(QRect(x - w / 4, y - h, w / 2, h), Qt::AlignHCenter | Qt::AlignBottom,
                       QStringLiteral("+ ") + QString::number(label.points()));
        }
    }
}

void OverlayPainter::paintPlayerList(QPainter& p) {
    const GuiState top = gui_.stack().top();
    const bool full = top == GuiState::Lobby || (top == GuiState::Game && gui_.tabHeld()) ||
                      gui_.stack().base() == GuiState::Lobby;
    const bool kick = gui_.kickingPossible();
    const int rows = gui_.maxPlayers();
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

    const QList<int> kickList = gui_.kickList();
    const PlayerTable& players = gui_.players();
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
            if (kickIndex == gui_.currentEntry()) {
                p.fillRect(bar, kBar);
                p.setPen(QPen(QColor(255, 255, 255, 96), 1));
                p.drawRect(bar);
            }
            gui_.hitMap().insert(kickIndex, bar);
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

void OverlayPainter::paintChat(QPainter& p, int bottom) {
    ChatLog& chat = gui_.chat();
    chat.expire();
    const double s = m_.scale();
    const int column = gui_.kickingPossible() ? 370 : 330;
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

void OverlayPainter::paintMessageBox(QPainter& p, bool centred) {
    const GuiStack& stack = gui_.stack();
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
        top = (scaled(gui_.maxPlayers() * 22 + 34) + m_.height()) / 2 + 25;
    }
    p.drawText(QRect(10, top, width, bounds.height()), Qt::AlignHCenter | Qt::TextWordWrap, text);
}

void OverlayPainter::paintChatInput(QPainter& p, int top) {
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
    paintFieldText(p, inner.adjusted(labelWidth, 0, 0, 0), gui_.chatLine(), true, false, kWhite);
}

void OverlayPainter::paintPauseSign(QPainter& p) {
    const double d = 40 * m_.scale();
    const QRectF circle(m_.width() - 15 - d, 15, d, d);
    QColor c = kWhite;
    c.setAlphaF(std::abs(50 - gui_.pulse()) / 50.0);
    p.setPen(QPen(c, std::max(1.0, 3 * m_.scale())));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(circle);
    const double barW = d * 0.12;
    const double barH = d * 0.45;
    const QPointF centre = circle.center();
    p.fillRect(QRectF(centre.x() - barW * 1.75, centre.y() - barH / 2, barW, barH), c);
    p.fillRect(QRectF(centre.x() + barW * 0.75, centre.y() - barH / 2, barW, barH), c);
}

// ---------------------------------------------------------------------------
// Menus

QColor OverlayPainter::entryColour(const MenuEntry& e, bool current) const {
    if (!e.enabled) {
        return kDisabled;
    }
    return current ? kWhite : kNormal;
}

void OverlayPainter::paintFieldText(QPainter& p, const QRect& r, const QString& text, bool editing,
                                    bool masked, const QColor& colour) {
    const QString shown = masked ? QString(text.size(), QLatin1Char('*')) : text;
    QFontMetrics fm(p.font());
    if (editing) {
        const TextField& f = gui_.field();
        if (f.selectionLength() > 0) {
            const int x0 = fm.horizontalAdvance(shown.left(f.selectionStart()));
            const int x1 =
                fm.horizontalAdvance(shown.left(f.selectionStart() + f.selectionLength()));
            p.fillRect(QRect(r.left() + x0, r.top() + 2, x1 - x0, r.height() - 4), kSelection);
        }
        p.setPen(kWhite);
        p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, shown);
        QColor caret = kWhite;
        caret.setAlphaF(caretAlpha(gui_.pulse()));
        const int x = r.left() + fm.horizontalAdvance(shown.left(f.cursor()));
        p.setPen(QPen(caret, std::max(1, scaled(1.5))));
        const int margin = (r.height() - fm.height()) / 2;
        p.drawLine(x, r.top() + margin, x, r.bottom() - margin);
        return;
    }
    p.setPen(colour);
    p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, shown);
}

void OverlayPainter::paintEntry(QPainter& p, const MenuEntry& e, int y, const MenuFonts& fonts,
                                int colonX) {
    const QFontMetrics fm(fonts.entry);
    const QFontMetrics ffm(fonts.field);
    const QColor colour = entryColour(e, gui_.currentEntry() == e.index);
    const bool isField = e.editState != GuiState::NoState;
    const bool hasValue = isField || !e.value.isEmpty();
    const QString label = hasValue ? e.text + QStringLiteral(": ") : e.text;
    const int labelWidth = fm.horizontalAdvance(label);
    const int valueWidth =
        !hasValue ? 0
        : isField ? std::max(ffm.horizontalAdvance(e.placeholder), ffm.horizontalAdvance(e.value))
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
        const bool editing = gui_.stack().top() == e.editState;
        if (editing) {
            p.fillRect(valueRect.adjusted(-4, 1, 4, -1), QColor(255, 255, 255, 24));
        }
        paintFieldText(p, valueRect, e.value, editing, e.masked, colour);
    } else if (hasValue) {
        p.drawText(valueRect, Qt::AlignLeft | Qt::AlignVCenter, e.value);
    }
    if (e.enabled) {
        gui_.hitMap().insert(e.index, line.adjusted(-scaled(10), 0, scaled(10), 0));
    }
}

void OverlayPainter::paintButton(QPainter& p, const MenuEntry& e, const QRect& r, int fontRole,
                                 Qt::Alignment align) {
    const bool current = gui_.currentEntry() == e.index;
    p.setFont(m_.font(GuiMetrics::FontRole(fontRole)));
    p.setPen(entryColour(e, current));
    const QString text = e.value.isEmpty() ? e.text : e.text + QStringLiteral(": ") + e.value;
    p.drawText(r, align | Qt::AlignVCenter, text);
    if (e.enabled) {
        gui_.hitMap().insert(e.index, r);
    }
}

void OverlayPainter::paintMenu(QPainter& p, GuiState state) {
    if (state == GuiState::ServerList) {
        paintServerList(p);
        return;
    }
    if (state == GuiState::HighscoreMenu) {
        paintHighscores(p);
        return;
    }
    const MenuScreen screen = gui_.menu(state);
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

    // Long screens fall back to the smaller font, wide ones shrink, so that
    // every entry fits.
    const int available = m_.height() - top - scaled(20);
    const int maxWidth = m_.width() - 2 * scaled(10);
    MenuFonts fonts;
    int step = 0;
    int colonX = -1;
    for (GuiMetrics::FontRole role : {GuiMetrics::Menu, GuiMetrics::SmallMenu}) {
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
            const QFontMetrics ffm(fonts.field);
            labels = std::max(labels, fm.horizontalAdvance(e.text + QStringLiteral(": ")));
            values = std::max(values, isField ? std::max(ffm.horizontalAdvance(e.placeholder),
                                                         ffm.horizontalAdvance(e.value))
                                              : fm.horizontalAdvance(e.value));
        }
        const int width = std::max(plain, labels + values);
        if (width > maxWidth) {
            const double factor = double(maxWidth) / width;
            fonts.entry.setPixelSize(std::max(1, int(fonts.entry.pixelSize() * factor)));
            fonts.field.setPixelSize(fonts.entry.pixelSize());
            labels = int(labels * factor);
            values = int(values * factor);
        }
        step = int(QFontMetrics(fonts.entry).height() * 1.3);
        colonX = labels > 0 ? (m_.width() - labels - values) / 2 + labels : -1;
        if (step * entries.size() <= available) {
            break;
        }
    }
    const int blockHeight = step * int(entries.size());
    int y = std::max(top, top + (available - blockHeight) / 2) + step / 2;
    for (const MenuEntry& e : entries) {
        paintEntry(p, e, y, fonts, colonX);
        y += step;
    }
    if (about) {
        paintMainMenuAbout(p, *about);
    }
}

void OverlayPainter::paintMainMenuAbout(QPainter& p, const MenuEntry& about) {
    const QFont& font = m_.font(GuiMetrics::SmallMenu);
    const QFontMetrics fm(font);
    const int inset = scaled(5);
    const QRect r(m_.width() - inset - fm.horizontalAdvance(about.text),
                  m_.height() - inset - fm.height(), fm.horizontalAdvance(about.text), fm.height());
    paintButton(p, about, r, GuiMetrics::SmallMenu, Qt::AlignRight);
}

// ---------------------------------------------------------------------------
// Server list

void OverlayPainter::paintServerList(QPainter& p) {
    const MenuScreen screen = gui_.menu(GuiState::ServerList);
    const ServerListModel& model = gui_.servers();
    const int w = m_.width();
    const int margin = std::max(scaled(20), (w - scaled(600)) / 2);
    const int width = w - 2 * margin;
    QMap<int, MenuEntry> entries;
    for (const MenuEntry& e : screen.entries) {
        entries.insert(e.index, e);
    }

    int y = scaled(15);
    p.setFont(m_.font(GuiMetrics::Menu));
    p.setPen(kWhite);
    int h = QFontMetrics(p.font()).height();
    p.drawText(QRect(0, y, w, h), Qt::AlignCenter, screen.title);
    y += h + scaled(10);

    // Filter row.
    p.setFont(m_.font(GuiMetrics::Panel));
    h = QFontMetrics(p.font()).height() + scaled(4);
    p.setPen(kText);
    p.drawText(QRect(margin, y, width, h), Qt::AlignLeft | Qt::AlignVCenter, tr("Filter"));
    y += h;
    for (int i = 0; i < 4; ++i) {
        const QRect r(margin + (i % 2) * width / 2, y + (i / 2) * h, width / 2, h);
        paintButton(p, entries.value(i), r, GuiMetrics::Panel, Qt::AlignLeft);
    }
    y += 2 * h + scaled(10);

    // Table.
    const double columns[4] = {0.0, 0.52, 0.74, 0.88};
    const auto columnRect = [&](int c, int top, int height) {
        const int x0 = margin + scaled(24) + int((width - scaled(24)) * columns[c]);
        const int x1 = c == 3 ? margin + width
                              : margin + scaled(24) + int((width - scaled(24)) * columns[c + 1]);
        return QRect(x0, top, x1 - x0 - scaled(6), height);
    };
    p.setFont(m_.font(GuiMetrics::Underlined));
    const int rowH = QFontMetrics(p.font()).height() + scaled(6);
    const bool listShown = model.listShown();
    for (int c = 0; c < 4; ++c) {
        MenuEntry header = entries.value(ServerListModel::FirstHeader + c);
        if (model.sortColumn() == c) {
            header.text +=
                model.ascending() ? QStringLiteral(" \u25b2") : QStringLiteral(" \u25bc");
        }
        header.enabled = true;
        const bool current = listShown && gui_.currentEntry() == header.index;
        p.setFont(m_.font(GuiMetrics::Underlined));
        p.setPen(current ? kWhite : kText);
        p.drawText(columnRect(c, y, rowH), Qt::AlignLeft | Qt::AlignVCenter, header.text);
        if (listShown) {
            gui_.hitMap().insert(header.index, columnRect(c, y, rowH));
        }
    }
    y += rowH;
    const int tableTop = y;
    const int tableHeight = ServerListModel::kPageSize * rowH;

    const MasterserverResult result = model.result();
    QString notice;
    if (result == MasterserverResult::ResultNone) {
        notice = tr("Retrieving severlist...");
    } else if (result == MasterserverResult::MasterUnreachable) {
        notice =
            tr("The masterserver could not be reached, so you can only connect to servers "
               "directly.");
    } else if (model.filtered() == 0) {
        notice = model.received() == 0
                     ? tr("Could not find any active servers.")
                     : tr("Could not find any active servers matching these filters.");
    }
    if (!notice.isEmpty()) {
        p.setFont(m_.font(GuiMetrics::Message));
        p.setPen(kText);
        QRect r(margin, tableTop, width, tableHeight);
        if (result == MasterserverResult::ResultNone) {
            const int d = scaled(30);
            const QRectF arc(w / 2.0 - d / 2.0, tableTop + tableHeight / 2.0 + scaled(20), d, d);
            p.setPen(QPen(kText, std::max(1, scaled(3))));
            p.drawArc(arc, -gui_.pulse() * 36 * 16 / 10, 270 * 16);
            p.setPen(kText);
        }
        p.drawText(r, Qt::AlignCenter | Qt::TextWordWrap, notice);
    } else {
        p.setFont(m_.font(GuiMetrics::List));
        const QFontMetrics fm(p.font());
        const QList<const ServerData*> joinable = model.joinable();
        int row = 0;
        for (const ServerData* s : model.pageRows()) {
            const QRect r(margin, y, width, rowH);
            const int joinIndex = int(joinable.indexOf(s));
            const int entry = joinIndex >= 0 ? ServerListModel::FirstServer + joinIndex : -1;
            if (entry >= 0 && entry == gui_.currentEntry()) {
                p.fillRect(r, kBar);
            }
            p.setPen(entry >= 0 ? kWhite : kNormal);
            // Ranked and locked servers carry a mark before the name.
            if (s->ranked()) {
                p.drawText(QRect(margin + scaled(1), y, scaled(11), rowH),
                           Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("\u2605"));
            }
            if (s->hasPassword()) {
                const double side = fm.height() * 0.7;
                paintLock(p, QRectF(margin + scaled(12), y + (rowH - side) / 2, side * 0.8, side),
                          p.pen().color());
            }
            const QString cells[4] = {
                s->name(), s->version(),
                QStringLiteral("%1/%2").arg(s->players()).arg(s->maxPlayers()),
                QString::number(s->ping())};
            for (int c = 0; c < 4; ++c) {
                const QRect cr = columnRect(c, y, rowH);
                p.drawText(cr, Qt::AlignLeft | Qt::AlignVCenter,
                           fm.elidedText(cells[c], Qt::ElideRight, cr.width()));
            }
            if (entry >= 0) {
                gui_.hitMap().insert(entry, r);
            }
            y += rowH;
            ++row;
        }
    }
    y = tableTop + tableHeight + scaled(6);

    // Page line with the neighbours.
    p.setFont(m_.font(GuiMetrics::Panel));
    h = QFontMetrics(p.font()).height() + scaled(4);
    p.setPen(kText);
    p.drawText(QRect(margin, y, width, h), Qt::AlignCenter, screen.text);
    if (entries.contains(ServerListModel::PreviousPage)) {
        paintButton(p, entries.value(ServerListModel::PreviousPage), QRect(margin, y, width / 3, h),
                    GuiMetrics::Panel, Qt::AlignLeft);
    }
    if (entries.contains(ServerListModel::NextPage)) {
        paintButton(p, entries.value(ServerListModel::NextPage),
                    QRect(margin + width * 2 / 3, y, width / 3, h), GuiMetrics::Panel,
                    Qt::AlignRight);
    }
    y += h + scaled(10);

    p.setFont(m_.font(GuiMetrics::SmallMenu));
    h = QFontMetrics(p.font()).height() + scaled(4);
    paintButton(p, entries.value(ServerListModel::Update), QRect(margin, y, width / 2, h),
                GuiMetrics::SmallMenu, Qt::AlignCenter);
    paintButton(p, entries.value(ServerListModel::Back), QRect(margin + width / 2, y, width / 2, h),
                GuiMetrics::SmallMenu, Qt::AlignCenter);
}

// ---------------------------------------------------------------------------
// Highscores

void OverlayPainter::paintHighscores(QPainter& p) {
    const MenuScreen screen = gui_.menu(GuiState::HighscoreMenu);
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
    const QList<const GameResult*> rows = gui_.highscores().rows();
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
