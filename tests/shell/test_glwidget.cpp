// The widget on a real display with a real Client: a singleplayer game on
// 127.0.0.1 played with keys through the widget until game over.
#include <QImage>
#include <QTest>

#include "apps/common/threadhosting.h"
#include "client/client.h"
#include "gui/glwidget.h"
#include "shell/guiwiring.h"
#include "tests/network/nettestsupport.h"

class TestGLWidget : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void singleplayerGameThroughTheWidget() {
        QTemporaryDir dir;
        QFile ini(dir.filePath("settings.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        // Port 0: the own server takes a free one.
        ini.write(
            "[Client]\nGeneral\\ShowIntro=false\nPlayer1\\Name=Ann\n"
            "[Server]\nGeneral\\Port=0\n");
        ini.close();
        Client::Environment env;
        env.directory = dir.path();
        QList<int> quits;
        env.quit = [&quits](int code) { quits.append(code); };
        ClientNetwork net;
        net.timings = nettest::fastTimings();
        ThreadHosting hosting;
        hosting.timings = net.timings;
        hosting.serverTimings.countdownMs = 100;
        hosting.listenAddress = nettest::kLocal;
        hosting.directory = env.directory;
        Client client(env, net, threadServerStarter(hosting));
        GuiEnvironment guiEnv;
        guiEnv.screenshotDirectory = dir.path();
        guiEnv.continuousRepaint = false;
        GLWidget w(&client, 800, 600, nullptr, guiEnv);
        connectGuiAndClient(w, client);
        w.resize(800, 600);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const GuiController& gui = w.controller();
        QCOMPARE(w.cursor().shape(), Qt::BitmapCursor);  // the game's own pointer in menus

        QTest::keyClick(&w, Qt::Key_Return);  // "Singleplayer"
        QTRY_COMPARE(gui.session().stack().base(), GuiState::Lobby);
        QTRY_VERIFY(!gui.input().inputLocked());
        // The player list comes from the server a moment after the lobby shows.
        const auto first = [&] { return gui.session().players().atPosition(0); };
        QTRY_VERIFY(first() != nullptr && first()->name == "Ann");
        QTest::keyClick(&w, Qt::Key_R);
        QTRY_VERIFY_WITH_TIMEOUT(gui.session().score().running(), 20000);
        QCOMPARE(gui.session().stack().base(), GuiState::Game);
        QCOMPARE(w.cursor().shape(), Qt::BlankCursor);  // none over the game in full screen

        // Tab stays in the widget: the game's player list, not the focus chain.
        QTest::keyPress(&w, Qt::Key_Tab);
        QVERIFY(gui.session().tabHeld());
        QTest::keyRelease(&w, Qt::Key_Tab);

        const auto over = [&] {
            return gui.session().stack().messages().first().startsWith("GAME OVER");
        };
        for (int i = 0; i < 400 && !over(); ++i) {
            QTest::keyClick(&w, Qt::Key_Space);
            QTest::qWait(25);
        }
        QTRY_VERIFY(over());
        QVERIFY(gui.input().keys().counters()[4] > 0);
        const HighscoreFile::Lists lists = client.highscores().read();
        QCOMPARE(lists[0].size(), std::size_t(1));
        QVERIFY(lists[0].front()->valid());
        QCOMPARE(lists[0].front()->playerNames(), "Ann");
        QCOMPARE(lists[0].front()->score(), gui.session().score().shownScore());

        QTest::keyClick(&w, Qt::Key_F11);
        const QImage shot(dir.filePath("screenshots/sc_00000.png"));
        QCOMPARE(shot.size(), QSize(800, 600));
        // The field the game ended with lies under the 2D layer: Ann's red boxes.
        int red = 0;
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = 0; x < shot.width(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                red += c.red() > 120 && c.green() < 60 && c.blue() < 60 ? 1 : 0;
            }
        }
        QVERIFY2(red > 2000, qPrintable(QString::number(red)));

        QTRY_COMPARE(gui.session().stack().base(), GuiState::Lobby);  // ready for the next game
        QTRY_VERIFY(!gui.input().inputLocked());
        QTest::keyClick(&w, Qt::Key_Escape);
        QTest::keyClick(&w, Qt::Key_Up);
        QTest::keyClick(&w, Qt::Key_Return);  // "Exit program"
        QTRY_COMPARE(quits, QList<int>{0});
    }
};

QTEST_MAIN(TestGLWidget)
#include "test_glwidget.moc"
