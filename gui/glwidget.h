#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include "gui/gamesurface.h"

// The game's one widget: it holds the surface the game draws into (embedded
// as a native child window) and stands for it among widgets. Keys and clicks
// sent to the widget go to the surface's handlers; focus on the widget
// passes to the surface, which then hears the keyboard itself.
class GLWidget : public QWidget {
    Q_OBJECT

public:
    // Reads the client's saved options and highscores (the client outlives
    // the widget); resWidth by resHeight is the full-screen resolution.
    GLWidget(Client* client, uint resWidth, uint resHeight, QWidget* parent = nullptr,
             GuiEnvironment environment = {});

    GameSurface& surface() { return *surface_; }
    GuiController& controller() { return surface_->controller(); }
    // The field copy the 3D scene shows; the client feeds it directly.
    SceneField& scene() { return surface_->scene(); }
    const SceneField& scene() const { return surface_->scene(); }
    const GuiMetrics& metrics() const { return surface_->metrics(); }
    QSize minimumSizeHint() const override { return QSize(640, 480); }

    // The display modes changed (the main window went full screen).
    void rebuildResolutions() { surface_->rebuildResolutions(); }
    // The frame as it would be shown; null before the surface has its context.
    QImage grabFramebuffer() { return surface_->grabFrame(); }
    // Saves the frame as the next free "screenshots/sc_%1.png"; the file, or empty.
    QString saveScreenshot() { return surface_->saveScreenshot(); }
    // What measuring the best quality says under the menu (GameSurface).
    QString measuringLine() const { return surface_->measuringLine(); }
    // Gives the surface the keyboard (after the window was shown or changed).
    void activateSurface();

protected:
    bool event(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    GameSurface* surface_;  // owned by its container, a child of this widget
};
