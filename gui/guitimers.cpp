#include "guitimers.h"

#include <QTimer>
#include <algorithm>

namespace {

class QtGuiTimer : public GuiTimer {
public:
    QtGuiTimer(bool singleShot, std::function<void()> timeout,
               Qt::TimerType type = Qt::CoarseTimer) {
        timer_.setSingleShot(singleShot);
        timer_.setTimerType(type);
        QObject::connect(&timer_, &QTimer::timeout, std::move(timeout));
    }
    void start(int intervalMs) override { timer_.start(intervalMs); }
    void stop() override { timer_.stop(); }
    bool isActive() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

class QtTimerSource : public TimerSource {
public:
    std::unique_ptr<GuiTimer> makeTimer(bool singleShot, std::function<void()> timeout) override {
        return std::make_unique<QtGuiTimer>(singleShot, std::move(timeout));
    }
    std::unique_ptr<GuiTimer> makePreciseTimer(std::function<void()> timeout) override {
        return std::make_unique<QtGuiTimer>(true, std::move(timeout), Qt::PreciseTimer);
    }
    const Clock& clock() const override { return Clock::system(); }
};

}  // namespace

TimerSource& TimerSource::system() {
    static QtTimerSource source;
    return source;
}

class ManualTimerSource::Timer : public GuiTimer {
public:
    Timer(ManualTimerSource& source, bool singleShot, std::function<void()> timeout)
        : source_(&source), singleShot_(singleShot), timeout_(std::move(timeout)) {
        source_->timers_.push_back(this);
    }
    ~Timer() override {
        if (source_ != nullptr) {
            std::erase(source_->timers_, this);
        }
    }
    void start(int intervalMs) override {
        if (source_ == nullptr) {
            return;
        }
        // A repeating timer of 0 ms would never let time move on.
        interval_ = std::max(intervalMs, singleShot_ ? 0 : 1);
        deadline_ = source_->clock_.nowMs() + interval_;
        order_ = ++source_->starts_;
        active_ = true;
    }
    void stop() override { active_ = false; }
    bool isActive() const override { return active_; }

    ManualTimerSource* source_;
    bool singleShot_;
    std::function<void()> timeout_;
    int interval_ = 0;
    qint64 deadline_ = 0;
    quint64 order_ = 0;
    bool active_ = false;
};

ManualTimerSource::ManualTimerSource() = default;

ManualTimerSource::~ManualTimerSource() {
    for (Timer* t : timers_) {
        t->source_ = nullptr;
    }
}

std::unique_ptr<GuiTimer> ManualTimerSource::makeTimer(bool singleShot,
                                                       std::function<void()> timeout) {
    return std::make_unique<Timer>(*this, singleShot, std::move(timeout));
}

void ManualTimerSource::advance(qint64 ms) {
    const qint64 end = clock_.nowMs() + ms;
    for (;;) {
        Timer* next = nullptr;
        for (Timer* t : timers_) {
            if (t->active_ && t->deadline_ <= end &&
                (next == nullptr || t->deadline_ < next->deadline_ ||
                 (t->deadline_ == next->deadline_ && t->order_ < next->order_))) {
                next = t;
            }
        }
        if (next == nullptr) {
            break;
        }
        clock_.set(next->deadline_);
        if (next->singleShot_) {
            next->active_ = false;
        } else {
            next->deadline_ += next->interval_;
            next->order_ = ++starts_;
        }
        // A copy: the callback may destroy its own timer.
        const std::function<void()> timeout = next->timeout_;
        timeout();
    }
    clock_.set(end);
}
