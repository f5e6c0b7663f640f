// The main window with a real Client: start, leave, close, full screen, pads.
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <optional>

#include "client/client.h"
#include "shell/mainwindow.h"
#include "tests/network/nettestsupport.h"
#include "tests/shell/virtualpad.h"
#include "tests/support/localhosting.h"

namespace {

// A monitor that offers two modes and can switch between them.
class FakeModes : public DisplayModeBackend {
public:
    QList<DisplayMode> modes() const override { return {{800, 600, 32, 60}, {1280, 1024, 32, 60}}; }
    DisplayMode currentMode() const override { return current; }
    bool setMode(const DisplayMode& mode) override {
        current = mode;
        return true;
    }
    DisplayMode current{1280, 1024, 32, 60};
};

struct Game {
    explicit Game(const QByteArray& settings) {
        QFile ini(dir.filePath("settings.ini"));
        ini.open(QIODevice::WriteOnly);
        ini.write("[Client]\nGeneral\\ShowIntro=false\n" + settings +
                  "[Server]\nGeneral\\Port=0\n");
        ini.close();
        Client::Environment env;
        env.directory = dir.path();
        env.quit = [this](int code) { quits.append(code); };
        ClientNetwork net;
        net.timings = nettest::fastTimings();
        client = std::make_unique<Client>(
            env, net, threadServerStarter(localHosting(net.timings, env.directory)));
        MainWindowEnvironment windowEnv;
        auto modes = std::make_unique<FakeModes>();
        monitor = modes.get();
        windowEnv.displayModes = std::move(modes);
        windowEnv.displayGuard = QStringLiteral("/nonexistent");
        windowEnv.startWindowed = true;
        windowEnv.gui.continuousRepaint = false;
        windowEnv.gui.measureQualityAtFirstStart = false;
        windowEnv.gui.screenshotDirectory = dir.path();
        window = std::make_unique<MainWindow>(client.get(), std::move(windowEnv));
    }
    const GuiController& gui() const { return window->glWidget()->controller(); }
    const QList<int>& counters() const { return gui().input().keys().counters(); }
    // Polled on a timer: each press and release waits until the window took it.
    void click(VirtualPad& pad, SDL_GameControllerButton b) {
        std::optional<PadButton> pressed;
        bool released = false;
        const QObject context;  // the connection goes with it, also on failure
        QObject::connect(&window->gamepads(), &GamepadInput::button, &context,
                         [&](int, PadButton button, bool down) {
                             if (down && !pressed) {
                                 pressed = button;
                             } else if (!down && pressed == button) {
                                 released = true;
                             }
                         });
        pad.button(b, true);
        QTRY_VERIFY(pressed.has_value());
        pad.button(b, false);
        QTRY_VERIFY(released);
    }
    // From the main menu entry to the lobby, ready, until the game runs.
    void startWithPad(VirtualPad& pad, int entry) {
        QTRY_VERIFY(!window->gamepads().names().value(0).isEmpty());
        for (int i = 0; i < entry; ++i) {
            click(pad, SDL_CONTROLLER_BUTTON_DPAD_DOWN);
        }
        click(pad, SDL_CONTROLLER_BUTTON_A);
        if (entry == 2) {
            click(pad, SDL_CONTROLLER_BUTTON_A);  // "Local"
        }
        QTRY_COMPARE(gui().session().stack().base(), GuiState::Lobby);
        QTRY_VERIFY(!gui().input().inputLocked());
        QTRY_VERIFY(gui().session().players().atPosition(0) != nullptr);
        click(pad, SDL_CONTROLLER_BUTTON_A);  // ready
        QTRY_VERIFY_WITH_TIMEOUT(gui().session().score().running(), 20000);
    }

    QTemporaryDir dir;
    QList<int> quits;
    std::unique_ptr<Client> client;
    FakeModes* monitor = nullptr;
    std::unique_ptr<MainWindow> window;
};

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startsInTheMenuAndLeavesByExitProgram() {
        // No saved resolution: full screen takes the screen's size.
        QCOMPARE(Game({}).window->fullscreenResolution(), QGuiApplication::primaryScreen()->size());
        Game g("Video\\ResWidth=800\nVideo\\ResHeight=600\n");
        QVERIFY(QTest::qWaitForWindowExposed(g.window.get()));
        QCOMPARE(g.window->fullscreenResolution(), QSize(800, 600));
        QCOMPARE(g.window->windowTitle(), "Quadrell Beta 0.92");
        QCOMPARE(g.gui().session().stack().base(), GuiState::MainMenu);
        for (int i = 0; i < 5; ++i) {
            QTest::keyClick(g.window->glWidget(), Qt::Key_Down);
        }
        QTest::keyClick(g.window->glWidget(), Qt::Key_Return);  // "Exit program"
        QCOMPARE(g.quits, QList<int>{0});
    }

    void closingWhileConnectedWaitsForTheDisconnect() {
        Game g({});
        QVERIFY(QTest::qWaitForWindowExposed(g.window.get()));
        QTest::keyClick(g.window->glWidget(), Qt::Key_Return);  // "Singleplayer"
        QTRY_COMPARE(g.gui().session().stack().base(), GuiState::Lobby);

        QVERIFY(!g.window->close());  // the window stays until the client is done
        QVERIFY(g.window->isVisible());
        QCOMPARE(g.gui().session().stack().messages().first(), "Disconnecting...");
        QVERIFY(g.quits.isEmpty());
        QTRY_COMPARE(g.quits, QList<int>{0});
    }

    void fullScreenAndBack() {
        Game g("Video\\ResWidth=800\nVideo\\ResHeight=600\n");
        MainWindow& w = *g.window;
        QVERIFY(QTest::qWaitForWindowExposed(&w));
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
        QVERIFY(w.isFullScreen());
        QVERIFY(keysReachTheGame());
    }

    // The program: moves earlier settings, ends in order on SIGTERM, one line without display.
    void theProgramStartsAndEnds() {
        QTemporaryDir home;
        QFile ini(home.filePath("settings.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Client]\nGeneral\\ShowIntro=false\n");
        ini.close();
        QProcess game;
        game.setWorkingDirectory(home.path());
        // Mesa unloads before the leak check; this process checks our own leaks.
        QProcessEnvironment gameEnv = QProcessEnvironment::systemEnvironment();
        gameEnv.insert("ASAN_OPTIONS", "detect_leaks=0");
        gameEnv.insert("HOME", home.path());
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "QUADRELL_DATA_DIR", "DISPLAY",
                                 "QT_QPA_PLATFORM"}) {
            gameEnv.remove(name);
        }
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
        QCOMPARE(game.exitStatus(), QProcess::NormalExit);
        QCOMPARE(game.exitCode(), 0);
        QVERIFY(game.readAllStandardError().contains("settings.ini -> " +
                                                     home.filePath(".config/quadrell").toUtf8()));

        QProcess headless;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            env.remove(name);
        }
        headless.setProcessEnvironment(env);
        headless.start(QUADRELL_GAME_PROGRAM, {});
        QVERIFY(headless.waitForFinished(10000));
        QCOMPARE(headless.exitStatus(), QProcess::NormalExit);
        QCOMPARE(headless.exitCode(), 1);
        QCOMPARE(headless.readAllStandardError().count('\n'), 1);
    }

    void twoPadsMoveTheirOwnBlocks() {
        Game g({});
        QVERIFY(QTest::qWaitForWindowExposed(g.window.get()));
        VirtualPad first;
        VirtualPad second;
        g.startWithPad(first, 2);  // "Splitscreen", "Local"
        QVERIFY(!QTest::currentTestFailed());
        const SceneField& scene = g.window->glWidget()->scene();
        QTRY_VERIFY(scene.followPosition(0) != QPoint() && scene.followPosition(1) != QPoint());
        const int x0 = scene.followPosition(0).x();
        const int x1 = scene.followPosition(1).x();
        g.click(first, SDL_CONTROLLER_BUTTON_DPAD_LEFT);
        g.click(second, SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
        QTRY_COMPARE(scene.followPosition(0).x(), x0 - 50);
        QTRY_COMPARE(scene.followPosition(1).x(), x1 + 50);
        QCOMPARE(g.counters(), (QList<int>{0, 0, 0, 1, 0, 0, 0, 1, 0, 0}));
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
