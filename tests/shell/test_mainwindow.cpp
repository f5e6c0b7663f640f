// The main window with a real Client: full screen and back, a pad, close, the program.
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include "tests/shell/gamewindow.h"
#include "tests/shell/virtualpad.h"

class TestMainWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Full screen and back keeps the keys on the game; a pad's A is "Singleplayer"; closing
    // while connected waits for the disconnect.
    void fullScreenAndBackThenPadAndClose() {
        {
            // No saved resolution: full screen takes the screen's size.
            GameWindow first({});
            QCOMPARE(first.window->fullscreenResolution(),
                     QGuiApplication::primaryScreen()->size());
        }
        GameWindow g("Video\\ResWidth=800\nVideo\\ResHeight=600\n");
        MainWindow& w = *g.window;
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.fullscreenResolution(), QSize(800, 600));
        QCOMPARE(w.windowTitle(), "Quadrell Beta 0.92");
        w.move(40, 30);
        w.resize(700, 500);
        QTRY_COMPARE(w.size(), QSize(700, 500));
        const QRect before = w.geometry();

        // Windowed, a new resolution changes nothing yet.
        w.setResolution(1280, 1024);
        QCOMPARE(w.geometry(), before);
        QCOMPARE(g.monitor->current.width, 1280);

        // No window manager runs here: the window itself covers the screen.
        w.setResolution(800, 600);
        w.toggleFullscreen();
        QTRY_VERIFY(w.isFullScreen());
        QCOMPARE(g.monitor->current, (DisplayMode{800, 600, 32, 60}));
        QTRY_COMPARE(w.geometry(), w.screen()->geometry());
        // Keys go on to the game after each switch, without a click.
        const auto keysReachTheGame = [&] {
            QWindow* surface = &w.glWidget()->surface();
            if (!QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == surface; })) {
                return false;
            }
            const int entry = g.gui().menus().currentEntry();
            QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key_Down);
            const bool moved = g.gui().menus().currentEntry() != entry;
            QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key_Up);
            return moved;
        };
        QVERIFY(keysReachTheGame());
        w.toggleFullscreen();
        QTRY_VERIFY(!w.isFullScreen());
        QCOMPARE(g.monitor->current, (DisplayMode{1280, 1024, 32, 60}));
        QTRY_COMPARE(w.geometry(), before);
        QVERIFY(keysReachTheGame());

        // A new resolution while full screen: the window follows the screen again.
        w.toggleFullscreen();
        QTRY_VERIFY(w.isFullScreen());
        w.setResolution(1280, 1024);
        QTRY_COMPARE(w.geometry(), w.screen()->geometry());
        QVERIFY(w.isFullScreen() && keysReachTheGame());

        VirtualPad pad;
        QTRY_VERIFY(!w.gamepads().names().value(0).isEmpty());
        pad.button(SDL_CONTROLLER_BUTTON_A, true);
        QTRY_COMPARE(g.gui().session().stack().base(), GuiState::Lobby);
        QVERIFY(!w.close());  // the window stays until the client is done
        QVERIFY(w.isVisible());
        QCOMPARE(g.lobbyText(), "Disconnecting...");
        QVERIFY(g.quits.isEmpty());
        QTRY_COMPARE(g.quits, QList<int>{0});
    }

    // The program: moves earlier settings, ends in order on SIGTERM, one line without display.
    void theProgramStartsAndEnds() {
        QTemporaryDir home;
        QFile ini(home.filePath("settings.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Client]\nGeneral\\ShowIntro=false\n");
        ini.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "QUADRELL_DATA_DIR", "DISPLAY",
                                 "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            env.remove(name);
        }
        QProcess game;
        game.setWorkingDirectory(home.path());
        QProcessEnvironment gameEnv = env;
        // Mesa unloads before the leak check; this process checks our own leaks.
        gameEnv.insert("ASAN_OPTIONS", "detect_leaks=0");
        game.setProcessEnvironment(gameEnv);
        game.start(QUADRELL_GAME_PROGRAM,
                   {"--windowed", "-display", qEnvironmentVariable("DISPLAY"), "--platform", "xcb",
                    "-style", "fusion", "-geometry", "700x500+5+5"});
        QVERIFY(game.waitForStarted());
        // A loaded machine with a sanitizer build takes seconds to start and end.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(home.filePath(".config/quadrell/settings.ini")),
                                 30000);
        QCOMPARE(game.state(), QProcess::Running);
        QVERIFY(!QFile::exists(home.filePath("settings.ini")));
        QVERIFY(QFileInfo(home.filePath(".local/share/quadrell")).isDir());
        game.terminate();
        QVERIFY(game.waitForFinished(30000));
        QVERIFY(game.exitStatus() == QProcess::NormalExit && game.exitCode() == 0);
        QVERIFY(game.readAllStandardError().contains("settings.ini -> " +
                                                     home.filePath(".config/quadrell").toUtf8()));

        QProcess headless;
        headless.setProcessEnvironment(env);
        headless.start(QUADRELL_GAME_PROGRAM, {});
        QVERIFY(headless.waitForFinished(10000));
        QVERIFY(headless.exitStatus() == QProcess::NormalExit && headless.exitCode() == 1);
        QCOMPARE(headless.readAllStandardError().count('\n'), 1);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
