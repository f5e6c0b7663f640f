#pragma once

#include <QJsonObject>
#include <QtGlobal>
#include <cstddef>
#include <functional>
#include <vector>

// Measures the server's tick: how long the work of each tick takes and how far
// apart ticks begin. Two clock reads per tick; only the samples of the most
// recent kCapacity ticks are kept, so a long-running server stays small.
class TickMonitor {
public:
    static constexpr std::size_t kCapacity = std::size_t{1} << 17;  // about 43 min of ticks

    // Count, median, 99th percentile and maximum of a set of samples
    // (nearest rank); all 0 without samples.
    struct Figures {
        std::size_t count = 0;
        double median = 0;
        double p99 = 0;
        double max = 0;

        // median, p99, max and samples, as the stats files write them.
        QJsonObject toJson() const;
    };

    // nowNs: a monotonic clock in nanoseconds; a steady clock by default.
    explicit TickMonitor(std::function<qint64()> nowNs = {});

    void tickStarted();
    void tickFinished();
    // The tick timer stopped (pause, countdown, game over): the next tick
    // starts a new run, so the gap is not counted as a period.
    void interrupted();

    qint64 ticks() const { return ticks_; }
    // Sum of all periods counted: the time the tick ran without a break.
    double tickingSeconds() const { return tickingNs_ / 1e9; }
    Figures workMicroseconds() const;
    Figures periodMilliseconds() const;
    // Distance of each period from the nominal one.
    Figures jitterMilliseconds(double nominalMs) const;

    static Figures figures(std::vector<double> samples);

private:
    static void keep(std::vector<qint64>& ring, std::size_t& next, qint64 value);
    static std::vector<double> scaled(const std::vector<qint64>& ring, double divisor);

    std::function<qint64()> nowNs_;
    qint64 ticks_ = 0;
    qint64 startNs_ = -1;
    qint64 lastStartNs_ = -1;  // -1: no tick since the last interruption
    qint64 tickingNs_ = 0;
    std::vector<qint64> work_;
    std::vector<qint64> periods_;
    std::size_t nextWork_ = 0;
    std::size_t nextPeriod_ = 0;
};
