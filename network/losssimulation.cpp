#include "losssimulation.h"

#include <algorithm>

namespace {

// Up to five decimal digits, nothing else.
std::optional<int> readMs(QStringView text) {
    if (text.isEmpty() || text.size() > 5) {
        return std::nullopt;
    }
    int value = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return std::nullopt;
        }
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

}  // namespace

std::optional<Latency> Latency::fromText(const QString& text) {
    const qsizetype comma = text.indexOf(QLatin1Char(','));
    const auto roundTrip = readMs(QStringView(text).left(comma < 0 ? text.size() : comma));
    const auto jitter =
        comma < 0 ? std::optional<int>(0) : readMs(QStringView(text).mid(comma + 1));
    if (!roundTrip || !jitter || *roundTrip > kMaxMs || *jitter > *roundTrip) {
        return std::nullopt;
    }
    return Latency{*roundTrip, *jitter};
}

QString Latency::expected() {
    return QStringLiteral(
               "a round trip in milliseconds from 0 to %1, optionally a comma and a "
               "jitter up to that round trip (100 or 100,20)")
        .arg(kMaxMs);
}

DelayLine::DelayLine() : clock_(&Clock::system()) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { release(); });
}

DelayLine::~DelayLine() {
    *alive_ = false;
}

void DelayLine::setDelay(int meanMs, int spreadMs, std::uint32_t seed) {
    meanMs_ = std::max(meanMs, 0);
    spreadMs_ = std::clamp(spreadMs, 0, meanMs_);
    random_.seed(seed);
}

void DelayLine::hold(std::function<void()> pass) {
    const int delay = meanMs_ - spreadMs_ + random_.next() % (2 * spreadMs_ + 1);
    held_.emplace(clock_->nowMs() + delay, std::move(pass));
    schedule();
}

void DelayLine::release() {
    const std::shared_ptr<bool> alive = alive_;
    while (!held_.empty() && held_.begin()->first <= clock_->nowMs()) {
        std::function<void()> pass = std::move(held_.begin()->second);
        held_.erase(held_.begin());
        pass();
        if (!*alive) {
            return;  // the connection went with what pass handled
        }
    }
    schedule();
}

void DelayLine::schedule() {
    if (held_.empty()) {
        timer_.stop();
        return;
    }
    timer_.start(int(std::max<qint64>(held_.begin()->first - clock_->nowMs(), 0)));
}

void LossSimulation::delay(const Latency& latency, std::uint32_t seed) {
    delayOutgoing.setDelay((latency.roundTripMs + 1) / 2, (latency.jitterMs + 1) / 2, seed);
    delayIncoming.setDelay(latency.roundTripMs / 2, latency.jitterMs / 2, seed + 1);
}
