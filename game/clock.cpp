#include "clock.h"

#include <QElapsedTimer>

namespace {

class SteadyClock : public Clock {
public:
    SteadyClock() { timer_.start(); }
    qint64 nowMs() const override { return timer_.elapsed(); }

private:
    QElapsedTimer timer_;
};

}  // namespace

const Clock& Clock::system() {
    static const SteadyClock clock;
    return clock;
}
