#include "tickmonitor.h"

#include <QElapsedTimer>
#include <algorithm>
#include <cmath>
#include <memory>

TickMonitor::TickMonitor(std::function<qint64()> nowNs) : nowNs_(std::move(nowNs)) {
    if (!nowNs_) {
        auto timer = std::make_shared<QElapsedTimer>();
        timer->start();
        nowNs_ = [timer] { return timer->nsecsElapsed(); };
    }
}

QJsonObject TickMonitor::Figures::toJson() const {
    return {{QStringLiteral("median"), median},
            {QStringLiteral("p99"), p99},
            {QStringLiteral("max"), max},
            {QStringLiteral("samples"), qint64(count)}};
}

void TickMonitor::keep(std::vector<qint64>& ring, std::size_t& next, qint64 value) {
    if (ring.size() < kCapacity) {
        ring.push_back(value);
        return;
    }
    ring[next] = value;
    next = (next + 1) % kCapacity;
}

void TickMonitor::tickStarted() {
    startNs_ = nowNs_();
    if (lastStartNs_ >= 0) {
        const qint64 period = startNs_ - lastStartNs_;
        tickingNs_ += period;
        keep(periods_, nextPeriod_, period);
    }
    lastStartNs_ = startNs_;
}

void TickMonitor::tickFinished() {
    if (startNs_ < 0) {
        return;
    }
    keep(work_, nextWork_, nowNs_() - startNs_);
    startNs_ = -1;
    ++ticks_;
}

void TickMonitor::interrupted() {
    lastStartNs_ = -1;
}

std::vector<double> TickMonitor::scaled(const std::vector<qint64>& ring, double divisor) {
    std::vector<double> out;
    out.reserve(ring.size());
    for (qint64 v : ring) {
        out.push_back(double(v) / divisor);
    }
    return out;
}

TickMonitor::Figures TickMonitor::figures(std::vector<double> samples) {
    Figures f;
    f.count = samples.size();
    if (samples.empty()) {
        return f;
    }
    std::sort(samples.begin(), samples.end());
    const auto rank = [&](double p) {
        const auto n = static_cast<double>(samples.size());
        const auto index = static_cast<std::size_t>(std::ceil(p * n)) - 1;
        return samples[std::min(index, samples.size() - 1)];
    };
    f.median = rank(0.5);
    f.p99 = rank(0.99);
    f.max = samples.back();
    return f;
}

TickMonitor::Figures TickMonitor::workMicroseconds() const {
    return figures(scaled(work_, 1e3));
}

TickMonitor::Figures TickMonitor::periodMilliseconds() const {
    return figures(scaled(periods_, 1e6));
}

TickMonitor::Figures TickMonitor::jitterMilliseconds(double nominalMs) const {
    std::vector<double> out = scaled(periods_, 1e6);
    for (double& v : out) {
        v = std::abs(v - nominalMs);
    }
    return figures(std::move(out));
}
