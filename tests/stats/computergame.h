#pragma once

// A game of computer players on the real rules, recorded tick by tick as a
// game server records it: a replay that plays again to its result.
#include <QByteArray>
#include <optional>

#include "fieldrun.h"
#include "game/replayfile.h"

struct ComputerGame {
    QByteArray replay;  // empty: the game did not end within the ticks allowed
    ReplayFile::Result result;
    QStringList players;
};

// forgeTick: from this tick on the file holds one press of Drop more for
// slot 0 than the players made, so that it plays to another game.
inline ComputerGame recordComputerGame(int columns, std::uint32_t seed,
                                       const std::vector<ComputerSkill>& skills = {},
                                       qint64 maxTicks = 500000,
                                       std::optional<qint64> forgeTick = {}, bool crowded = false) {
    FieldRun run(columns, seed, crowded, nullptr, skills);
    GameSimulation& sim = run.simulation();
    QList<ReplayFile::Seat> seats;
    for (int slot = 0; slot < GameSimulation::kSlots; ++slot) {
        if (const GamePlayer* p = sim.player(slot)) {
            seats << ReplayFile::Seat{slot,          p->name(), p->colour(), p->spawnColumn(),
                                      p->spawnRow(), true};
        }
    }
    ReplayFile::Writer writer(columns, seed, seats);
    writer.begin(0);  // the run's clock starts at 0, and play with it
    while (!run.over() && writer.ticks() < maxTicks) {
        run.feedInput();
        std::array<std::optional<KeyCounts>, ReplayFile::kSlots> keys;
        for (int slot = 0; slot < GameSimulation::kSlots; ++slot) {
            if (const GamePlayer* p = sim.player(slot)) {
                keys[std::size_t(slot)] = p->keyCount();
            }
        }
        if (forgeTick && writer.ticks() >= *forgeTick && keys[0]) {
            ++(*keys[0])[slotIndex(KeySlot::Drop)];
        }
        writer.tick(keys);
        run.tick();
    }
    if (!run.over()) {
        return {};
    }
    const ReplayFile::Result result{sim.score(), sim.lines(),
                                    GameSimulation::playtimeText(sim.playtimeMs())};
    QStringList players;
    for (const ReplayFile::Seat& s : seats) {
        players << s.name;
    }
    return {writer.finish(result, writer.ticks() * GameSimulation::kTickMs), result, players};
}
