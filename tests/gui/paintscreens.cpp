// Paints every screen of the game into PNGs for people to look at:
//   paint_screens OUTPUT_DIR [TRANSLATION.qm]
// Each screen at 1280x1024 and 800x600, over the grey the widget clears to,
// in English or in the language of the translation given.
#include <QDir>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTranslator>
#include <cstdio>
#include <functional>

#include "gui/guimetrics.h"
#include "gui/overlaypainter.h"
#include "guifixture.h"

namespace {

// A text as the client hands it over, in the language loaded.
QString client(const char* text, int n = -1) {
    return QCoreApplication::translate("Client", text, nullptr, n);
}

void lobbyOfFour(GuiFixture& f, bool host) {
    f.lobby(4, false, host, {0, 1, 2, 3});
    f.stack().setBaseState(GuiState::Lobby, client("Press 'r' when you are ready."));
    f.session().updatePlayerlist(
        {{0, 1, 2, 3},
         {"Ann", "Benedikt", "Cid", "Dora"},
         {0, -9, 3, -10},
         {GamePlayer::Ready, GamePlayer::Waiting, GamePlayer::Connecting, GamePlayer::Ready}});
    f.session().updatePinglist({{0, 1, 2, 3}, {12, 48, 999, 230}});
}

const QList<std::pair<QString, std::function<void(GuiFixture&)>>> kScreens{
    {"mainmenu", [](GuiFixture& f) { f.play("Down"); }},
    {"options",
     [](GuiFixture& f) {
         f.menus().resolutions().rebuild({{800, 600, 32, 60}, {1280, 1024, 32, 60}});
         f.play("Up Up Up Enter Down Down Down");
     }},
    {"splitscreen", [](GuiFixture& f) { f.play("Down Down Enter Down Down"); }},
    {"host", [](GuiFixture& f) { f.play("Down Enter Enter Down Down Enter Down"); }},
    {"join",
     [](GuiFixture& f) {
         f.play("Down Enter Down Down Enter Enter type:lan-party-server.games.example.org:27403");
         f.key(Qt::Key_Left, Qt::ShiftModifier);
     }},
    {"password",
     [](GuiFixture& f) {
         f.play("Down Enter Down Down Enter Down Enter Password Enter type:secret");
     }},

    {"serverlist",
     [](GuiFixture& f) {
         f.play("Down Enter Down Enter");
         for (int i = 0; i < 15; ++i) {
             ServerData s =
                 server(QStringLiteral("Server number %1").arg(i + 1), 20 + 7 * i, i % 3 == 0,
                        i % 4 == 1, i % 5, 4, i == 6 ? "Beta 0.91" : "Beta 0.92");
             s.setLan(i % 4 == 2);
             f.session().addServer(s);
         }
         f.session().processMasterserverResult(MasterserverResult::MasterListDone);
         // Version "Same" drops the old server; the second joinable row is chosen.
         f.play("Up Up Up Up Up Enter Down Down Down Down Down Down Down Down Down Down");
     }},
    {"highscores",
     [](GuiFixture& f) {
         const QStringList names{"Ann", "Ben", "Cid", "Dora", "Eve", "Finn", "Gus", "Hanna"};
         for (int i = 0; i < 12; ++i) {
             f.scores->append(100 * i + 7, i * 3, QStringLiteral("00:%1:17").arg(10 + i),
                              {names[i % 8], names[(i + 3) % 8]});
         }
         f.play("Down Down Down Enter Right");
     }},
    {"chat",
     [](GuiFixture& f) {
         lobbyOfFour(f, false);
         f.stack().setBaseState(GuiState::Game, QString());
         f.session().startPlayTime();
         f.timers.advance(83000);
         f.session().updateFPS();
         f.session().addPointLabel(30, 4);
         f.timers.advance(500);
         f.session().displayChatMessage(-3, client("%1 has joined the game.").arg("Dora"));
         f.session().displayChatMessage(1, "Hello everybody, shall we play a long game this time?");
         f.session().displayChatMessage(0, "Sure!");
         f.key(Qt::Key_T);
         f.type("On my way");
     }},
    {"error",
     [](GuiFixture& f) {
         f.play("Down Enter");
         f.stack().displayError(client("The server '%1' could not be found.").arg("10.0.0.7:27403"),
                                false);
     }},
    {"gamemenu",
     [](GuiFixture& f) {
         lobbyOfFour(f, true);
         f.stack().setBaseState(GuiState::Game, QString());
         f.stack().setCountdown(client("Resuming in") + " 2...");
         f.play("Esc");
     }},
    {"lobby",
     [](GuiFixture& f) {
         lobbyOfFour(f, true);
         // The longest line the router's answer gives.
         f.session().setReachability(
             "The router opened 100.72.0.9:27403, but another router or the provider stands in "
             "front of it: friends on the internet probably cannot join");
         f.stack().setBaseState(GuiState::Lobby,
                                client("Press 's' to start the game.") + "\n\n" +
                                    client("Press 'r' if you are not ready anymore."));
         f.play("Down");
     }},
    {"gameover",
     [](GuiFixture& f) {
         lobbyOfFour(f, true);
         f.session().setScore(123456, false);
         f.timers.advance(5000);
         f.stack().setBaseState(GuiState::Game, client("GAME OVER (%n Point(s))", 123456) + "\n\n" +
                                                    client("Press 'r' for a new game."));
     }},
    {"disconnecting",
     [](GuiFixture& f) {
         lobbyOfFour(f, false);
         f.stack().setBaseState(GuiState::Notice, client("Disconnecting..."));
     }},
};

// The credits once their first lines (or `lines` more) have come up.
void scrollCredits(GuiFixture& f, int height, int lines) {
    f.play("Up Enter");  // "About"
    const CreditsRoll& roll = f.session().credits();
    const int advance = QFontMetrics(roll.font()).height() * 3 / 2;
    while (roll.frame() * CreditsRoll::kPixelsPerTick < height - 40 + lines * advance) {
        f.timers.advance(GuiSession::kIntroMs);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString out = app.arguments().value(1, QStringLiteral("screens"));
    QDir().mkpath(out);
    QTranslator translator;
    if (app.arguments().size() > 2) {
        if (!translator.load(app.arguments()[2])) {
            std::fprintf(stderr, "cannot load %s\n", qPrintable(app.arguments()[2]));
            return 1;
        }
        QCoreApplication::installTranslator(&translator);
    }
    for (const QSize size : {QSize(1280, 1024), QSize(800, 600)}) {
        auto screens = kScreens;
        for (const auto& [name, lines] : {std::pair{"credits1", 0}, std::pair{"credits2", 9}}) {
            screens.append(
                {name, [size, lines](GuiFixture& f) { scrollCredits(f, size.height(), lines); }});
        }
        for (const auto& [name, setUp] : screens) {
            GuiMetrics metrics;
            metrics.resize(size.width(), size.height());
            GuiFixture f;
            // What the widget does on a resize.
            f.session().setViewHeight(size.height());
            f.session().credits().setFont(metrics.font(GuiMetrics::SmallMenu));
            setUp(f);
            QImage image(size, QImage::Format_RGB32);
            image.fill(QColor(127, 127, 127));
            QPainter p(&image);
            p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
            OverlayPainter(*f.gui, metrics).paint(p);
            p.end();
            const QString file = QStringLiteral("%1/%2_%3.png").arg(out, name).arg(size.width());
            if (!image.save(file)) {
                return 1;
            }
        }
    }
    return 0;
}
