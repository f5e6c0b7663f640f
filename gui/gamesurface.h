#pragma once

#include <QCursor>
#include <QElapsedTimer>
#include <QOpenGLWindow>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "gui/framepacer.h"
#include "gui/guicontroller.h"
#include "gui/guimetrics.h"
#include "gui/qualityprobe.h"
#include "gui/resolutionlist.h"
#include "gui/scene/multisampledframe.h"
#include "gui/scene/scenefield.h"
#include "gui/scene/scenerenderer.h"

class Client;
class SoundEffects;

// What the widget would otherwise take from the process.
struct GuiEnvironment {
    TimerSource* timers = nullptr;  // null: Qt's timers and the steady clock
    QString screenshotDirectory;    // empty: the working directory
    // The display modes the options offer; empty: the screens Qt reports.
    std::function<QList<DisplayMode>()> displayModes;
    // Repaints frame after frame; tests that only grab frames turn it off.
    bool continuousRepaint = true;
    // At most one frame per refresh of the screen; off: as fast as it can.
    bool pacedFrames = true;
    // What the room and its relief are textured with; null: the game's own.
    std::function<SceneTextures()> textures;
    // Without a saved visual quality, the main menu measures the best one.
    bool measureQualityAtFirstStart = true;
};

// The window the game draws into: every screen of the game is painted here
// and every key and click ends up here. What to show and what a key does is
// decided by the GuiController it owns; the surface hands it input, paints
// what it and the field copy hold, and draws a frame when either changed, at
// most one per refresh of the screen. It draws straight into its own
// multisampled framebuffer, so nothing composes it into the main window
// (GLWidget embeds it).
class GameSurface : public QOpenGLWindow {
    Q_OBJECT

public:
    // Reads the client's saved options and highscores (the client outlives
    // the surface); resWidth by resHeight is the full-screen resolution.
    GameSurface(Client* client, uint resWidth, uint resHeight, GuiEnvironment environment = {});
    ~GameSurface() override;

    GuiController& controller() { return *gui_; }
    // The field copy the 3D scene shows; the client feeds it directly.
    SceneField& scene() { return scene_; }
    const SceneField& scene() const { return scene_; }
    const GuiMetrics& metrics() const { return metrics_; }
    // Whether mouse moves without a button count (QWidget's mouse tracking).
    bool mouseTracking() const { return mouseTracking_; }

    // The display modes changed (the main window went full screen).
    void rebuildResolutions();
    // Draws a frame and reads it back, without showing it; null before the
    // window has its context.
    QImage grabFrame();
    // Saves the frame as the next free "screenshots/sc_%1.png"; the file, or empty.
    QString saveScreenshot();
    // What measuring the best quality says under the menu: the quality being
    // measured, then for a few seconds the one chosen; empty otherwise.
    QString measuringLine() const;

protected:
    bool event(QEvent* event) override;
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void updateCursor(bool ownCursor, bool mouseTracking);
    // GL names go while their context is current, before the window does.
    void releaseGl();
    // Whether the picture changes by itself from frame to frame.
    bool animating() const;
    // Whether the next frame may differ from the last with no message, input
    // or timer to say so.
    bool stillMoving() const;
    // The camera turns while the field copy says so.
    void followRotation();
    void applyVSync(bool on);
    SceneOptions sceneOptions() const;
    // Measuring the best quality: frames of a showcase game drawn over the
    // screen it was started from; leaving that screen calls it off.
    void startMeasuring();
    // Counts the frame before this one; true while the measuring goes on.
    bool measureFrame();
    void paintMeasuring(QPainter& painter, const QString& line);

    GuiEnvironment environment_;
    FramePacer pacer_;
    NotifyingTimerSource timers_;  // a timer that fired asks for a frame
    GuiMetrics metrics_;
    std::unique_ptr<GuiController> gui_;
    std::unique_ptr<SoundEffects> sounds_;
    QCursor cursor_;
    bool mouseTracking_ = false;

    SceneField scene_;  // of the client's copy
    // The own block's column and turn in the frame painted last, logged when
    // it is swapped (quadrell.latency).
    QPoint paintedOwn_{-1, -1};
    // What the field looked like in the frame painted last; 0: not drawn.
    quint64 paintedKey_ = 0;
    SceneRenderer renderer_;
    MultisampledFrame frame_;

    bool measureAtMainMenu_ = false;  // the first start's measuring is still due
    std::optional<QualityProbe> probe_;
    GuiState probeState_ = GuiState::NoState;
    QElapsedTimer probeFrame_;
    ClientField showcaseCopy_;
    SceneField showcase_{showcaseCopy_};
    QString measured_;  // the choice, said until the timer takes it away
    std::unique_ptr<GuiTimer> measuredTimer_;
    std::unique_ptr<GuiTimer> cameraTimer_;
};
