#pragma once

// Field shortcuts for tests: boxes landed the way any landing enters them, known blocks swapped in.
#include <QList>
#include <algorithm>
#include <memory>
#include <utility>

#include "game/gamefield.h"
#include "game/gamesimulation.h"

namespace fieldsetup {

// A fall that would pass the floor lands a block where it stands.
inline bool landWhereItStands(GameField& field, GameBlock& b) {
    const bool landed = field.moveBlock(b, b.x(), -100000, b.rotation(), 3) && field.landed(3);
    field.clearFlags();
    return landed;
}

inline void landBox(GameField& field, int column, int row) {
    const int w = field.fieldsizeX();
    GameBlock one(99, 0, 0, w);
    one.addBox(GameBox(1, {column * 50, column * 50, column * 50, column * 50},
                       {row * 50, row * 50, row * 50, row * 50}, w));
    landWhereItStands(field, one);
}

// The row full up to column end but for the gaps.
inline void fillRow(GameField& field, int row, const QList<int>& gaps = {},
                    int end = GameField::kMaxColumns) {
    for (int c = 0; c < std::min(end, field.fieldsizeX()); ++c) {
        if (!gaps.contains(c)) {
            landBox(field, c, row);
        }
    }
}

// Who holds each of the (column, row) cells.
inline QList<int> cells(const GameField& field, const QList<std::pair<int, int>>& at) {
    QList<int> out;
    for (const auto& [c, r] : at) {
        out.append(field.cell(c, r));
    }
    return out;
}

// Swaps the current block of slot for a known shape at a known place, keeping its id.
inline void setBlock(GameSimulation& sim, int slot, int kind, int x, int y, int rotation = 0) {
    GamePlayer& p = *sim.player(slot);
    const int id = p.currentBlock()->id();
    sim.field().releaseCells(*p.currentBlock());
    p.setCurrentBlock(
        std::make_unique<GameBlock>(id, p.colour(), kind, x, y, rotation, sim.fieldsizeX()));
}

// Players 0 .. players - 1 playing 12 columns each, spawning 4 columns into their part, on a
// clock moved by hand; events hear the game from its start.
struct PlayingSim {
    explicit PlayingSim(std::uint32_t seed) : random(seed) {}
    void start(int players, GameEvents* events) {
        sim.setEvents(events);
        for (int slot = 0; slot < players; ++slot) {
            auto p = std::make_unique<GamePlayer>(slot, QStringLiteral("P%1").arg(slot), slot,
                                                  false, GamePlayer::Playing);
            p->setSpawn(slot * 12 + 4, 25);
            sim.addPlayer(slot, slot, 0, std::move(p));
        }
        sim.startGame(12 * players);
        sim.beginPlay();
    }

    RandomSource random;
    ManualClock clock;
    GameSimulation sim{random, clock};
};

}  // namespace fieldsetup
