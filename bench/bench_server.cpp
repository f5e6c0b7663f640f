// Cost of one server tick with four players playing on 48 columns: the field
// rules plus the server's locking and its hand-over of every result to the
// connections; then the same with three of the four computer players of the
// server, whose thinking is part of the tick. The connections here drop what
// they get, so encoding and sockets are not counted.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include "game/gamegrid.h"
#include "game/placementpolicy.h"
#include "server/server.h"

namespace {

class NullConnection : public ServerConnection {
public:
    void disconnectClient(int, bool) override {}
    int acceptSocket(qintptr) override { return -1; }
    void setGate(PlayerGate*) override {}
    void shutDown(int) override {}
    void sendSPlayerlist(bool, const PayloadCodec::PlayerList&) override {}
    void sendSMessage(bool, const PayloadCodec::ChatLine&) override {}
    void sendSKick(bool, int) override {}
    void sendSStart(bool, const PayloadCodec::GameStart&) override {}
    void sendSRestart(bool, int) override {}
    void sendSGameState(bool, int, const PayloadCodec::GameState&) override {}
    void sendSNewBlock(bool, const GameBlock& block) override {
        benchmark::DoNotOptimize(block.id());
    }
    void sendSMoveBlocks(bool, const QList<GameBlock*>& blocks, const QList<int>&,
                         const QList<std::optional<KeyInput>>&) override {
        benchmark::DoNotOptimize(blocks.size());
    }
    void sendSMergeBlocks(bool, const QList<GameBlock*>& blocks) override {
        benchmark::DoNotOptimize(blocks.size());
    }
    void sendSPause(bool, const PayloadCodec::Pause&) override {}
    void sendSGameOver(bool, const PayloadCodec::GameOver&) override {}
    void setInGame(int, bool) override {}
};

// Four players, started through the player lists like any game: the computers
// of the server (on connections 0 up), the others on the connections after
// them, each pressing the keys a simple placement policy chooses.
class ServerRun {
public:
    ServerRun(std::uint32_t seed, int computers) : random_(seed) {
        ServerTimings quiet;
        quiet.tickMs = quiet.countdownMs = 3600000;
        stream_ = new NullConnection;
        datagram_ = new NullConnection;
        ServerSettings settings;
        settings.computers = computers;
        settings.computerSkill = ComputerSkill::Hard;
        server_ = std::make_unique<Server>(settings, Server::Links{stream_, datagram_, nullptr},
                                           Server::Reporting{},
                                           Server::Environment{quiet, &random_, &clock_});
        for (int status : {GamePlayer::Waiting, GamePlayer::Ready}) {
            for (int c = computers; c < 4; ++c) {
                Q_EMIT stream_->changedSPlayers(
                    c, {{QStringLiteral("P%1").arg(c), QString()}, {-1, -1}, {status, -1}});
            }
        }
        for (int i = 0; i < 3; ++i) {
            server_->updateCountDown();
        }
    }

    bool over() const { return !server_->simulation().running(); }

    void feedInput() {
        const GameSimulation& sim = server_->simulation();
        const int w = sim.fieldsizeX();
        for (int slot = 0; slot < GameSimulation::kSlots; ++slot) {
            const GamePlayer* p = sim.player(slot);
            if (!p || !p->isInGame() || !p->currentBlock() ||
                server_->computers().isSeat(p->connId())) {
                continue;
            }
            if (p->anyKeyPending()) {
                continue;
            }
            const GameBlock& b = *p->currentBlock();
            const PlacementPolicy::Target target = PlacementPolicy::choose(
                [&sim](int c, int r) { return sim.field().cell(c, r) == GameField::kFieldBlockId; },
                w, b.kind(), slot * 12, 12);
            const int key =
                PlacementPolicy::nextKey(b.rotation(), GameGrid::column(w, b.x()), target, w);
            KeyInput input;
            input[0] = p->keyCount();
            ++input[0][std::size_t(key)];
            Q_EMIT datagram_->changedSPlayerInput(p->connId(), input);
        }
    }

    void tick() {
        clock_.advance(20);
        server_->mainLoop();
    }

private:
    RandomSource random_;
    ManualClock clock_;
    NullConnection* stream_;
    NullConnection* datagram_;
    std::unique_ptr<Server> server_;
};

double threadCpuMicros() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

void addFigures(benchmark::State& state, const char* prefix, std::vector<double>& micros) {
    std::sort(micros.begin(), micros.end());
    if (micros.empty()) {
        return;
    }
    const std::string p(prefix);
    state.counters[p + "median_us"] = micros[micros.size() / 2];
    state.counters[p + "p99_us"] = micros[micros.size() * 99 / 100];
    state.counters[p + "max_us"] = micros.back();
}

// Only the tick is timed; the players choose their keys outside it. Median,
// 99th percentile and maximum of single ticks are reported as counters
// (microseconds), by the wall clock and by the thread's CPU clock, which a
// busy machine's other processes do not inflate.
void BM_ServerTick4Players(benchmark::State& state) {
    const int computers = static_cast<int>(state.range(0));
    std::uint32_t seed = 1;
    auto run = std::make_unique<ServerRun>(seed, computers);
    std::vector<double> ticks;
    std::vector<double> cpuTicks;
    ticks.reserve(static_cast<std::size_t>(state.max_iterations));
    cpuTicks.reserve(static_cast<std::size_t>(state.max_iterations));
    for (auto _ : state) {
        if (run->over()) {
            run = std::make_unique<ServerRun>(++seed, computers);
        }
        run->feedInput();
        const double cpuStart = threadCpuMicros();
        const auto start = std::chrono::steady_clock::now();
        run->tick();
        const auto end = std::chrono::steady_clock::now();
        cpuTicks.push_back(threadCpuMicros() - cpuStart);
        const double seconds = std::chrono::duration<double>(end - start).count();
        state.SetIterationTime(seconds);
        ticks.push_back(seconds * 1e6);
    }
    addFigures(state, "", ticks);
    addFigures(state, "cpu_", cpuTicks);
    state.counters["games"] = seed;
}
// The argument is the number of the four players that are the server's
// computers (hard): the difference per computer is what one costs a tick.
BENCHMARK(BM_ServerTick4Players)->Arg(0)->Arg(3)->UseManualTime()->Iterations(200000);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);  // the server's timers need one
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
