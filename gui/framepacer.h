#pragma once

#include <QtGlobal>
#include <functional>
#include <memory>

#include "gui/guitimers.h"

// Asks the view for its frames no closer together than one refresh of the
// screen. Without vertical sync a view that draws again as soon as a frame is
// on screen would draw as many frames as the machine can, which nobody sees
// and which keep the event loop, and the sockets served on it, waiting.
//
// Frames follow a grid one interval apart while requests keep coming; a frame
// that started late restarts the grid, so a frame that took longer than the
// interval is followed by the next one at once, never by a backlog. Requests
// while one is waiting for its turn merge into it. An interval of 0 draws on
// every request (as fast as it can, for benchmarks).
class FramePacer {
public:
    static constexpr double kDefaultRefreshHz = 60.0;

    // draw asks for one frame (QWidget::update, which merges repeated calls).
    FramePacer(TimerSource& timers, std::function<void()> draw);

    // refreshHz <= 0 or not a number: kDefaultRefreshHz.
    void setRefreshRate(double refreshHz);
    // Every request draws at once.
    void setFlatOut(bool on);
    qint64 intervalUs() const { return intervalUs_; }

    // Something changed: a frame now or at the next free place of the grid.
    void request();
    // The view began to paint a frame.
    void frameStarted();

private:
    qint64 nowUs() const { return clock_.nowMs() * 1000; }

    const Clock& clock_;
    std::function<void()> draw_;
    std::unique_ptr<GuiTimer> timer_;
    qint64 intervalUs_ = 0;
    double refreshHz_ = kDefaultRefreshHz;
    bool flatOut_ = false;
    qint64 earliestUs_ = 0;  // when the next frame may start
};
