#include "shell/mainwindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include "client/client.h"
#include "display/displaymodebackends.h"
#include "game/appinfo.h"
#include "shell/guiwiring.h"

namespace {

QSize savedResolution(const ClientSettings::Options& options) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize screenSize = screen != nullptr ? screen->size() : QSize(1024, 768);
    return {options.resWidth > 0 ? options.resWidth : screenSize.width(),
            options.resHeight > 0 ? options.resHeight : screenSize.height()};
}

}  // namespace

MainWindow::MainWindow(Client* client, MainWindowEnvironment environment)
    : fullscreen_(savedResolution(client->settings().options)),
      displayModes_(std::make_unique<DisplayModeSwitcher>(environment.displayModes
                                                              ? std::move(environment.displayModes)
                                                              : createDisplayModeBackend(),
                                                          environment.displayGuard)) {
    setWindowTitle(QStringLiteral("%1 %2").arg(QLatin1String(Quadrell::kApplicationName),
                                               QLatin1String(Quadrell::kVersion)));

    // The options offer what the monitor can do, not only its current size.
    if (!environment.gui.displayModes) {
        environment.gui.displayModes = [this] { return displayModes_->modes(); };
    }

    TimerSource& timers =
        environment.gui.timers != nullptr ? *environment.gui.timers : TimerSource::system();
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    glWidget_ = new GLWidget(client, uint(fullscreen_.width()), uint(fullscreen_.height()), central,
                             std::move(environment.gui));
    layout->addWidget(glWidget_);
    setCentralWidget(central);
    glWidget_->setFocus();

    GuiController& gui = glWidget_->controller();
    connect(&gui.menus(), &MenuModel::setResolution, this, &MainWindow::setResolution);
    connect(&gui.input(), &InputRouter::toggleFullscreen, this, &MainWindow::toggleFullscreen);
    connectGuiAndClient(*glWidget_, *client);
    connect(this, &MainWindow::windowGameClose, client, &Client::endProgramm);
    gamepads_ = std::make_unique<GamepadInput>(timers);
    connectGamepads(*gamepads_, gui);

    if (environment.startWindowed) {
        windowedSize_ = fullscreen_;
        setFullscreen(false);
    } else {
        setFullscreen(true);
        windowedPosition_ = QPoint(0, 0);
        windowedSize_ = fullscreen_;
    }
}

MainWindow::~MainWindow() {
    displayModes_->restoreDisplayMode();
}

void MainWindow::setFullscreen(bool on) {
    if (on) {
        windowedPosition_ = pos();
        windowedSize_ = size();
        changeDisplayMode();
        showFullScreenCovering();
        glWidget_->controller().session().setWindowed(false);
        glWidget_->rebuildResolutions();
        keepKeyboard();
        return;
    }
    disconnect(screenResized_);
    displayModes_->restoreDisplayMode();
    showNormal();
    move(windowedPosition_);
    resize(windowedSize_);
    glWidget_->controller().session().setWindowed(true);
    keepKeyboard();
}

void MainWindow::keepKeyboard() {
    // Keys go on to the game without a click, whichever window the switch
    // left the keyboard with.
    glWidget_->setFocus();
    glWidget_->activateSurface();
}

void MainWindow::changeDisplayMode() {
    // No mode of that size: the monitor keeps its mode and the window still
    // covers the screen.
    displayModes_->changeDisplayMode(fullscreen_.width(), fullscreen_.height());
}

void MainWindow::setResolution(uint width, uint height) {
    fullscreen_ = QSize(int(width), int(height));
    windowedSize_ = fullscreen_;
    if (isFullScreen()) {
        changeDisplayMode();
        showNormal();
        showFullScreenCovering();
        keepKeyboard();
    }
}

void MainWindow::showFullScreenCovering() {
    // Only a window manager acts on the full-screen state; without one (a
    // kiosk, Xvfb) the window takes the screen's place itself, also when a
    // mode switch resizes the screen afterwards.
    QScreen* current = screen();
    if (current != nullptr) {
        setGeometry(current->geometry());  // before: it would end the full-screen state
    }
    showFullScreen();
    disconnect(screenResized_);
    if (QWindow* window = windowHandle(); current != nullptr && window != nullptr) {
        // The native window's geometry, which keeps the state.
        screenResized_ =
            connect(current, &QScreen::geometryChanged, window,
                    [window](const QRect& geometry) { window->setGeometry(geometry); });
    }
}

void MainWindow::toggleFullscreen() {
    setFullscreen(!isFullScreen());
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    Q_EMIT windowGameClose();
}
