#pragma once

#include <QtGlobal>

// Monotonic milliseconds. The play time and display ages read it; tests
// replace it with a clock they move by hand.
class Clock {
public:
    virtual ~Clock() = default;
    virtual qint64 nowMs() const = 0;

    // The process-wide steady clock.
    static const Clock& system();
};

class ManualClock : public Clock {
public:
    qint64 nowMs() const override { return now_; }
    void advance(qint64 ms) { now_ += ms; }
    void set(qint64 ms) { now_ = ms; }

private:
    qint64 now_ = 0;
};
