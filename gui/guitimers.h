#pragma once

#include <QtGlobal>
#include <functional>
#include <memory>
#include <vector>

#include "game/clock.h"

// One timer of the GUI's logic, single shot or repeating; start() restarts it.
class GuiTimer {
public:
    virtual ~GuiTimer() = default;
    virtual void start(int intervalMs) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

// Where the GUI takes its timers and its clock from: Qt's timers and the
// steady clock in the program, a source moved by hand in tests.
class TimerSource {
public:
    virtual ~TimerSource() = default;
    virtual std::unique_ptr<GuiTimer> makeTimer(bool singleShot, std::function<void()> timeout) = 0;
    // A single-shot timer kept to the millisecond, for what must not drift
    // by the few percent an ordinary timer may.
    virtual std::unique_ptr<GuiTimer> makePreciseTimer(std::function<void()> timeout) {
        return makeTimer(true, std::move(timeout));
    }
    virtual const Clock& clock() const = 0;

    // QTimer and Clock::system().
    static TimerSource& system();
};

// Another source's timers that also run `after` each time one has fired: the
// widget draws at once what a timer changed instead of drawing all the time.
class NotifyingTimerSource : public TimerSource {
public:
    NotifyingTimerSource(TimerSource& inner, std::function<void()> after)
        : inner_(inner), after_(std::move(after)) {}

    std::unique_ptr<GuiTimer> makeTimer(bool singleShot, std::function<void()> timeout) override {
        return inner_.makeTimer(singleShot, [this, timeout = std::move(timeout)] {
            timeout();
            after_();
        });
    }
    const Clock& clock() const override { return inner_.clock(); }

private:
    TimerSource& inner_;
    std::function<void()> after_;
};

// Time moves only in advance(); timers that fall due fire in the order of
// their deadlines, each seeing the clock at its own deadline.
class ManualTimerSource : public TimerSource {
public:
    ManualTimerSource();
    ~ManualTimerSource() override;

    std::unique_ptr<GuiTimer> makeTimer(bool singleShot, std::function<void()> timeout) override;
    const Clock& clock() const override { return clock_; }
    void advance(qint64 ms);

private:
    class Timer;
    ManualClock clock_;
    std::vector<Timer*> timers_;  // alive timers; each removes itself when destroyed
    quint64 starts_ = 0;          // orders timers with the same deadline
};
