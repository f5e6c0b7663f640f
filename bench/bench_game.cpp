// Cost of the field rules: one move, a four-row clear on the widest field and a
// whole tick of four players.
#include <benchmark/benchmark.h>

#include <chrono>

#include "fieldrun.h"
#include "game/gamefield.h"

namespace {

void landBox(GameField& field, int column, int row) {
    GameBlock one(99, 0, 0, field.fieldsizeX());
    one.addBox(GameBox(1, {column * 50, column * 50, column * 50, column * 50},
                       {row * 50, row * 50, row * 50, row * 50}, field.fieldsizeX()));
    field.moveBlock(one, 0, -100000, 0, 3);
}

void BM_MoveBlock(benchmark::State& state) {
    GameField field;
    field.reset(48);
    GameBlock block(1, 0, 2, 1000, 900, 0, 48);
    int step = 0;
    for (auto _ : state) {
        // Alternate a side step and a step back: every call changes cells.
        const int x = (step++ & 1) ? 1000 : 1050;
        benchmark::DoNotOptimize(field.moveBlock(block, x, 900, 0, 0));
    }
}
BENCHMARK(BM_MoveBlock);

void BM_RemoveFullLines4Rows(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        GameField field;
        field.reset(48);
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 48; ++c) {
                landBox(field, c, r);
            }
        }
        for (int c = 0; c < 48; c += 2) {
            landBox(field, c, 4);  // a half row that moves down
        }
        state.ResumeTiming();
        benchmark::DoNotOptimize(field.removeFullLines({}).rows);
    }
}
BENCHMARK(BM_RemoveFullLines4Rows);

// Only the tick is timed; the simple players choose their keys outside it.
void BM_Tick4Players(benchmark::State& state) {
    std::uint32_t seed = 1;
    auto run = std::make_unique<FieldRun>(48, seed);
    for (auto _ : state) {
        if (run->over()) {
            run = std::make_unique<FieldRun>(48, ++seed);
        }
        run->feedInput();
        const auto start = std::chrono::steady_clock::now();
        run->tick();
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
}
BENCHMARK(BM_Tick4Players)->UseManualTime()->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
