#pragma once

#include <QMainWindow>
#include <QPoint>
#include <QSize>
#include <memory>

#include "display/displaymodeswitcher.h"
#include "gui/glwidget.h"
#include "shell/gamepadinput.h"

class Client;
class QCloseEvent;

// What the main window would otherwise take from the process.
struct MainWindowEnvironment {
    // Null: the display modes of the windowing system this runs on.
    std::unique_ptr<DisplayModeBackend> displayModes;
    QString displayGuard;  // empty: the installed guard program
    bool startWindowed = false;
    GuiEnvironment gui;
};

// The frame around the game's one widget: full screen with the monitor
// switched to the chosen resolution, or a plain window. It wires the GUI to
// the client (connectGuiAndClient) and follows the GUI's resolution and
// full-screen requests, and takes the gamepads.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(Client* client, MainWindowEnvironment environment = {});
    // Puts the monitor back into the mode it had before the game switched it.
    ~MainWindow() override;

    GLWidget* glWidget() const { return glWidget_; }
    const GamepadInput& gamepads() const { return *gamepads_; }
    QSize fullscreenResolution() const { return fullscreen_; }

Q_SIGNALS:
    void windowGameClose();

public Q_SLOTS:
    void setResolution(uint width, uint height);
    void toggleFullscreen();

protected:
    // The window stays: the client ends the program once it has left the game.
    void closeEvent(QCloseEvent* event) override;

private:
    void setFullscreen(bool on);
    void changeDisplayMode();
    void showFullScreenCovering();
    void keepKeyboard();

    QPoint windowedPosition_{0, 0};
    QSize windowedSize_{-1, -1};
    QSize fullscreen_;
    std::unique_ptr<DisplayModeSwitcher> displayModes_;
    QMetaObject::Connection screenResized_;
    GLWidget* glWidget_ = nullptr;
    std::unique_ptr<GamepadInput> gamepads_;
};
