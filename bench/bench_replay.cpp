// Kept games: the size of a long four-player game's replay and how fast a
// replay plays headless. Four computer players play on 48 columns for up to
// the given minutes of ticks (49: the last speed step), every tick's counters
// recorded as the server records them; then the replay is played again on a
// fresh simulation and timed.
//
//   bench_replay [MINUTES] [SKILL] [SEED]     (default 49 minutes, hard, seed 1)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>

#include "fieldrun.h"
#include "game/replayfile.h"
#include "game/replayplayer.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int minutes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 49;
    const ComputerSkill skill =
        skillFromName(argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("hard"))
            .value_or(ComputerSkill::Hard);
    const auto seed = static_cast<std::uint32_t>(argc > 3 ? std::atoi(argv[3]) : 1);
    const qint64 maxTicks = qint64(minutes) * 60 * 1000 / GameSimulation::kTickMs;

    FieldRun run(48, seed, false, nullptr, {skill});
    GameSimulation& sim = run.simulation();
    QList<ReplayFile::Seat> seats;
    for (int slot = 0; slot < GameSimulation::kSlots; ++slot) {
        const GamePlayer& p = *sim.player(slot);
        seats << ReplayFile::Seat{slot, p.name(), p.colour(), p.spawnColumn(), p.spawnRow(), true};
    }
    ReplayFile::Writer writer(48, seed, seats);
    writer.begin(0);  // the run's clock starts at 0, play with it
    QElapsedTimer timer;
    timer.start();
    while (!run.over() && writer.ticks() < maxTicks) {
        run.feedInput();
        std::array<std::optional<KeyCounts>, ReplayFile::kSlots> keys;
        for (int slot = 0; slot < GameSimulation::kSlots; ++slot) {
            keys[std::size_t(slot)] = sim.player(slot)->keyCount();
        }
        writer.tick(keys);
        run.tick();
    }
    const qint64 playMs = timer.elapsed();
    const qint64 ticks = writer.ticks();
    const QByteArray bytes =
        writer.finish({sim.score(), sim.lines(), GameSimulation::playtimeText(sim.playtimeMs())},
                      ticks * GameSimulation::kTickMs);
    const double gameSeconds = double(ticks) * GameSimulation::kTickMs / 1000.0;
    std::printf("recorded: %s, %s, %lld ticks (%.0f s of play, %d pieces) in %lld ms\n",
                run.over() ? "game over" : "still running", qPrintable(skillName(skill)),
                static_cast<long long>(ticks), gameSeconds, run.piecesLanded(),
                static_cast<long long>(playMs));
    std::printf("file: %lld bytes, %.1f bytes per second of play\n",
                static_cast<long long>(bytes.size()), double(bytes.size()) / gameSeconds);

    const ReplayFile::ReadResult read = ReplayFile::read(bytes);
    if (!read.replay) {
        std::printf("unreadable: %s\n", qPrintable(read.error));
        return 1;
    }
    timer.restart();
    const ReplayPlayer::Outcome out = ReplayPlayer::play(*read.replay);
    const qint64 replayMs = std::max<qint64>(1, timer.elapsed());
    // A game cut off before its end has no result to match.
    std::printf("replayed: %s in %lld ms, %.0f game seconds per second; %s\n",
                qPrintable(ReplayPlayer::describe(out.result)), static_cast<long long>(replayMs),
                gameSeconds * 1000.0 / double(replayMs),
                out.matches ? "matches" : (run.over() ? "MISMATCH" : "cut off, no result"));
    return run.over() && !out.matches ? 1 : 0;
}
