#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "client/client.h"
#include "shell/mainwindow.h"
#include "tests/network/nettestsupport.h"
#include "tests/support/localhosting.h"

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

// The main window, windowed, and a real Client with its own server on a free port.
struct GameWindow {
    explicit GameWindow(const QByteArray& settings, Latency latency = {},
                        bool measureQuality = false) {
        QFile ini(dir.filePath("settings.ini"));
        ini.open(QIODevice::WriteOnly);
        ini.write("[Client]\nGeneral\\ShowIntro=false\n" + settings +
                  "[Server]\nGeneral\\Port=0\nGeneral\\ComputerSkill=easy\n");
        ini.close();
        Client::Environment env;
        env.directory = dir.path();
        env.quit = [this](int code) { quits.append(code); };
        ClientNetwork net;
        net.timings = nettest::fastTimings();
        net.latency = latency;
        client = std::make_unique<Client>(
            env, net, threadServerStarter(localHosting(net.timings, env.directory)));
        MainWindowEnvironment windowEnv;
        auto modes = std::make_unique<FakeModes>();
        monitor = modes.get();
        windowEnv.displayModes = std::move(modes);
        windowEnv.displayGuard = QStringLiteral("/nonexistent");
        windowEnv.startWindowed = true;
        windowEnv.gui.continuousRepaint = false;
        windowEnv.gui.measureQualityAtFirstStart = measureQuality;
        windowEnv.gui.screenshotDirectory = dir.path();
        window = std::make_unique<MainWindow>(client.get(), std::move(windowEnv));
    }
    GLWidget& w() const { return *window->glWidget(); }
    GuiController& gui() const { return window->glWidget()->controller(); }
    QString lobbyText() const { return gui().session().stack().messages().first(); }
    // The screenshot F11 writes first.
    QImage screenshot() {
        QTest::keyClick(&w(), Qt::Key_F11);
        return QImage(dir.filePath("screenshots/sc_00000.png"));
    }

    QTemporaryDir dir;
    QList<int> quits;
    std::unique_ptr<Client> client;
    FakeModes* monitor = nullptr;
    std::unique_ptr<MainWindow> window;
};
