// Cost of one decision of the computer player: from a new piece on the copy of
// the field to its plan (placement chosen, way found, first press known). Four
// hard players play whole games on 48 columns; at every new piece a second
// player with the same skill and part decides for the same piece on the same
// copy, and that call alone is timed: by the thread's CPU clock, which a busy
// machine's other processes do not inflate, and by the wall clock.
//
//   bench_decision [SEEDS] [MAX_TICKS]     (default 3 seeds, 60000 ticks each)
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

#include "fieldrun.h"

namespace {

double threadCpuMicros() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

void printFigures(const char* what, std::vector<double> micros) {
    std::sort(micros.begin(), micros.end());
    const auto at = [&](double p) {
        return micros.empty() ? 0.0 : micros[static_cast<std::size_t>(p * (micros.size() - 1))];
    };
    std::printf("%s: median %.1f us, p90 %.1f us, p99 %.1f us, max %.1f us\n", what, at(0.5),
                at(0.9), at(0.99), micros.empty() ? 0.0 : micros.back());
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int seeds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int maxTicks = argc > 2 ? std::max(1, std::atoi(argv[2])) : 60000;
    constexpr int kColumns = 48;
    std::vector<double> cpu;
    std::vector<double> wall;
    int ticks = 0;
    for (int seed = 1; seed <= seeds; ++seed) {
        FieldRun run(kColumns, static_cast<std::uint32_t>(seed), false, nullptr,
                     {ComputerSkill::Hard});
        std::array<int, GameSimulation::kSlots> seen{-1, -1, -1, -1};
        for (int t = 0; t < maxTicks && !run.over(); ++t, ++ticks) {
            const FieldMirror& mirror = run.mirror();
            for (int slot = 0; slot < kColumns / 12; ++slot) {
                const int id = mirror.activeBlockIds().value(slot * 2, -1);
                if (id <= 0 || id == seen[static_cast<std::size_t>(slot)]) {
                    continue;
                }
                seen[static_cast<std::size_t>(slot)] = id;
                ComputerPlayer fresh(ComputerSkill::Hard, 99);
                fresh.setPart(kColumns, slot * 12);
                // The team's pieces are headed somewhere: their claims cost a
                // landing each per placement.
                fresh.setTeamClaims(run.teamClaims());
                const double cpuStart = threadCpuMicros();
                const auto start = std::chrono::steady_clock::now();
                const ComputerPlayer::Keys keys =
                    fresh.think(mirror, id, run.simulation().speed(), 20LL * t, {});
                const auto end = std::chrono::steady_clock::now();
                cpu.push_back(threadCpuMicros() - cpuStart);
                wall.push_back(std::chrono::duration<double, std::micro>(end - start).count());
                (void)keys;
            }
            run.step();
        }
    }
    std::printf("decisions %zu over %d ticks (4 hard players, 48 columns, %d seeds)\n", cpu.size(),
                ticks, seeds);
    printFigures("decision, thread CPU time", cpu);
    printFigures("decision, wall time", wall);
    return 0;
}
