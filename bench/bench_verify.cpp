// What the stats service spends to prove one ranked game: games of computer
// players of varied length (12 to 48 columns, crowded or not, many seeds) are
// recorded, then each replay is verified against its result as a POST is,
// read, played again and compared, and timed. Prints the percentiles.
//
//   bench_verify [GAMES]     (default 200)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTime>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "computergame.h"
#include "stats/replaycheck.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int games = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    struct Timed {
        qint64 ticks;
        double ms;
    };
    std::vector<Timed> runs;
    QElapsedTimer all;
    all.start();
    for (int i = 0; i < games; ++i) {
        const int columns = 12 * (1 + i % 4);
        const bool crowded = i % 3 == 0;
        const ComputerGame g =
            recordComputerGame(columns, std::uint32_t(1000 + i), {}, 500000, std::nullopt, crowded);
        if (g.replay.isEmpty()) {
            continue;
        }
        const int seconds = int(QTime(0, 0).secsTo(QTime::fromString(g.result.playtime)));
        const GameReport report{g.result.score, g.result.lines, seconds, g.players, {}, {}};
        QElapsedTimer t;
        t.start();
        const ReplayVerification v = verifyReplay(g.replay, report, {});
        const double ms = double(t.nsecsElapsed()) / 1e6;
        if (v.verdict != ReplayVerdict::Verified) {
            std::printf("game %d not verified: %s\n", i, qPrintable(v.reason));
            return 1;
        }
        runs.push_back({v.ticks, ms});
    }
    std::sort(runs.begin(), runs.end(), [](const Timed& a, const Timed& b) { return a.ms < b.ms; });
    const auto at = [&](double q) { return runs[std::size_t(q * double(runs.size() - 1))]; };
    std::vector<qint64> ticks;
    for (const Timed& r : runs) {
        ticks.push_back(r.ticks);
    }
    std::sort(ticks.begin(), ticks.end());
    std::printf(
        "%zu games played and verified in %lld ms; ticks min %lld, median %lld, max %lld\n",
        runs.size(), static_cast<long long>(all.elapsed()), static_cast<long long>(ticks.front()),
        static_cast<long long>(ticks[ticks.size() / 2]), static_cast<long long>(ticks.back()));
    std::printf(
        "verification per game: p50 %.2f ms (%lld ticks), p99 %.2f ms (%lld ticks), "
        "max %.2f ms (%lld ticks)\n",
        at(0.5).ms, static_cast<long long>(at(0.5).ticks), at(0.99).ms,
        static_cast<long long>(at(0.99).ticks), runs.back().ms,
        static_cast<long long>(runs.back().ticks));
    return 0;
}
