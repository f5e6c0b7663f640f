#pragma once

#include <QFile>
#include <QKeyEvent>
#include <QPainter>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "client/clientsettings.h"
#include "client/highscorefile.h"
#include "gui/guicontroller.h"
#include "gui/guimetrics.h"
#include "gui/overlaypainter.h"
#include "tests/support/signallog.h"

// A server as a probe reports it; its address ends in the ping.
inline ServerData server(const QString& name, int ping, bool ranked = false, bool password = false,
                         int players = 1, int max = 4, const QString& version = "Beta 0.92") {
    return ServerData(version, "10.0.0." + QString::number(ping), name, 27403, ranked, password,
                      players, max, ping, "12:00:00");
}

// How a GUI signal's arguments read in a recorded line.
struct GuiText {
    static QString of(bool b) { return b ? "T" : "F"; }
    static QString of(int v) { return QString::number(v); }
    static QString of(uint v) { return QString::number(v); }
    static QString of(const QString& s) { return s.isEmpty() ? "''" : s; }
    template <typename... Fields>
    static QString fields(const Fields&... f) {
        return QStringList{of(f)...}.join(QLatin1Char(' '));
    }
    // As the client's parameters came in order before they were one record.
    static QString of(const HostRequest& r) {
        const ClientSettings::Hosting& h = r.hosting;
        return fields(h.name, h.port, h.maxPlayers, r.singleplayer, r.splitscreen, h.ranked,
                      h.usePassword, h.password, h.computers, skillName(h.computerSkill),
                      h.computerTakeover, h.openPort, h.listed);
    }
    static QString of(const ClientSettings::Options& o) {
        return fields(o.name1, o.name2, o.invertControl, o.showPreview, o.showPointer, o.showFPS,
                      o.ignoreColors, o.resWidth, o.resHeight, o.quality, o.enableVSync,
                      o.playSounds, o.enableStatsSP, o.showIntro, o.predictMoves);
    }
    static QString of(const QList<int>& l) { return joinedNumbers(l); }
    static QString of(const KeyInput& k) { return joinedNumbers(k.toList()); }
};

// A GuiController on a hand-moved clock; each signal it sends is a line in `events`.
struct GuiFixture : SignalLog<GuiText> {
    QTemporaryDir dir;
    ManualTimerSource timers;
    std::unique_ptr<ClientSettings> settings;
    std::unique_ptr<HighscoreFile> scores;
    std::unique_ptr<GuiController> gui;
    explicit GuiFixture(const QString& ini = QString()) {
        QFile file(dir.filePath("settings.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        // No intro unless a test asks for it.
        const QString intro =
            ini.contains("ShowIntro") ? "" : "[Client]\nGeneral\\ShowIntro=false\n";
        file.write((intro + ini).toUtf8());
        file.close();
        settings = std::make_unique<ClientSettings>(dir.path());
        scores = std::make_unique<HighscoreFile>(dir.path());
        gui = std::make_unique<GuiController>(*settings, *scores, QSize(1280, 1024), timers);
        MenuModel* m = &gui->menus();
        InputRouter* i = &gui->input();
        record(m, &MenuModel::menuMainHost, "host");
        record(m, &MenuModel::menuMainJoin, "join");
        record(m, &MenuModel::menuMainClose, "close");
        record(m, &MenuModel::menuGameRestart, "restart");
        record(m, &MenuModel::menuGameDisconnect, "disconnect");
        record(m, &MenuModel::menuGameClose, "gameClose");
        record(m, &MenuModel::setMenuOpen, "menuOpen");
        record(&i->keys(), &KeyCounters::changedInput, "input");
        record(i, &InputRouter::changedReady, "ready");
        record(i, &InputRouter::changedStart, "start");
        record(i, &InputRouter::changedKick, "kick");
        record(i, &InputRouter::changedAddComputer, "addComputer");
        record(m, &MenuModel::setColors, "colors");
        record(m, &MenuModel::setOptions, "options");
        record(m, &MenuModel::setResolution, "resolution");
        record(m, &MenuModel::measureQuality, "measure");
        record(i, &InputRouter::sendMessage, "say");
        record(i, &InputRouter::abortAction, "abort");
        record(m, &MenuModel::getServerlist, "serverlist");
        record(m, &MenuModel::setLastFilter, "filter");
        record(gui.get(), &GuiController::soundRequested, "sound");
    }

    GuiSession& session() { return gui->session(); }
    GuiStack& stack() { return gui->session().stack(); }
    MenuModel& menus() { return gui->menus(); }

    void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = QString(),
             bool autoRepeat = false) {
        QKeyEvent e(QEvent::KeyPress, k, mods, text, autoRepeat);
        gui->input().keyPress(e);
    }
    void release(int k) {
        QKeyEvent e(QEvent::KeyRelease, k, Qt::NoModifier);
        gui->input().keyRelease(e);
    }
    void type(const QString& text) {
        for (const QChar c : text) {
            key(c.isDigit() ? Qt::Key_0 + c.digitValue() : Qt::Key_A, Qt::NoModifier, QString(c));
        }
    }
    // Paints the screen at 800x600, as the widget would, so that the mouse finds the entries.
    QImage paint() {
        GuiMetrics metrics;
        metrics.resize(800, 600);
        QImage image(800, 600, QImage::Format_RGB32);
        QPainter p(&image);
        OverlayPainter(*gui, metrics).paint(p);
        p.end();
        return image;
    }
    void rightClick(int entry) {
        paint();
        QVERIFY2(menus().hitMap().contains(entry), qPrintable(QString::number(entry)));
        gui->input().mousePress(menus().hitMap().value(entry).center(), Qt::RightButton);
    }
    // Runs a script of keys: Up, Down, Left, Right, Enter, Esc, a letter A-Z (Down*3: three
    // times), type:TEXT; rclick:ENTRY, a right click on the painted entry; Password, the client
    // asking for one.
    void play(const QString& script) {
        static const QMap<QString, int> names{{"Up", Qt::Key_Up},        {"Down", Qt::Key_Down},
                                              {"Left", Qt::Key_Left},    {"Right", Qt::Key_Right},
                                              {"Enter", Qt::Key_Return}, {"Esc", Qt::Key_Escape}};
        for (const QString& token : script.split(' ', Qt::SkipEmptyParts)) {
            const QString name = token.section('*', 0, 0);
            const bool letter = name.size() == 1 && name[0] >= 'A' && name[0] <= 'Z';
            if (token.startsWith("type:")) {
                type(token.mid(5));
            } else if (token.startsWith("rclick:")) {
                rightClick(token.mid(7).toInt());
            } else if (token == "Password") {
                stack().setTopState(GuiState::PasswordMenu, QString());
            } else {
                QVERIFY2(letter || names.contains(name), qPrintable(token));
                for (int n = token.contains('*') ? token.section('*', 1).toInt() : 1; n > 0; --n) {
                    key(letter ? Qt::Key_A + (name[0].unicode() - 'A') : names[name]);
                }
            }
        }
    }
    GuiState top() const { return gui->session().stack().top(); }
    QList<GuiState> states() const { return gui->session().stack().states(); }
    // Connected as host with the given player list (connId, name, status).
    void lobby(int maxPlayers, bool splitscreen, bool host, const QList<int>& connIds,
               GamePlayer::PlayerStatus status = GamePlayer::Waiting) {
        session().resetGui({true, maxPlayers, splitscreen, host, false, 0});
        stack().setBaseState(GuiState::Lobby, QStringLiteral("Press 'r' when you are ready."));
        QStringList names;
        for (qsizetype i = 0; i < connIds.size(); ++i) {
            names << QStringLiteral("P%1").arg(i);
        }
        session().updatePlayerlist(
            {connIds, names, QList<int>(connIds.size(), -10), QList<int>(connIds.size(), status)});
        timers.advance(InputRouter::kUnlockMs);
    }
};
