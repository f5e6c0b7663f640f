#include "framepacer.h"

#include <cmath>

FramePacer::FramePacer(TimerSource& timers, std::function<void()> draw)
    : clock_(timers.clock()),
      draw_(std::move(draw)),
      timer_(timers.makePreciseTimer([this] { draw_(); })) {
    setRefreshRate(kDefaultRefreshHz);
}

void FramePacer::setRefreshRate(double refreshHz) {
    refreshHz_ = std::isfinite(refreshHz) && refreshHz > 0 ? refreshHz : kDefaultRefreshHz;
    setFlatOut(flatOut_);
}

void FramePacer::setFlatOut(bool on) {
    flatOut_ = on;
    intervalUs_ = on ? 0 : std::llround(1e6 / refreshHz_);
}

void FramePacer::request() {
    if (timer_->isActive()) {
        return;
    }
    const qint64 waitUs = earliestUs_ - nowUs();
    if (waitUs <= 0) {
        draw_();
    } else {
        timer_->start(int((waitUs + 999) / 1000));
    }
}

void FramePacer::frameStarted() {
    const qint64 now = nowUs();
    // On time (within one interval of its place): the grid goes on, so that
    // whole milliseconds of the timer do not add up to a slower rate.
    const bool onTime = now >= earliestUs_ && now - earliestUs_ < intervalUs_;
    earliestUs_ = (onTime ? earliestUs_ : now) + intervalUs_;
}
