#pragma once

#include <QList>
#include <array>
#include <memory>
#include <vector>

#include "game/blockrecords.h"
#include "game/gamesimulation.h"
#include "game/placementpolicy.h"

// Plays a game on the real rules with one policy player per 12 columns, no
// network and no timers: each step feeds key presses and runs one tick.
class FieldRun : public GameEvents {
public:
    // crowded: every player aims at the same few columns, so blocks meet and
    // appear on top of each other far more often than in a real game.
    // observer: hears every event of the game as well, from the first block on.
    FieldRun(int fieldsizeX, std::uint32_t seed, bool crowded = false,
             GameEvents* observer = nullptr);

    // Fresh input for every player, then one tick.
    void step() {
        feedInput();
        tick();
    }
    void feedInput();
    void tick();
    bool over() const { return over_; }
    int piecesLanded() const { return piecesLanded_; }
    GameSimulation& simulation() { return simulation_; }

    // What a client receives for these blocks: one movement record each, new
    // objects for the receiver to own.
    static QList<GameMovement> movementsOf(const QList<GameBlock*>& blocks);

    void newBlock(const GameBlock& block) override;
    void blocksMoved(const QList<GameBlock*>& blocks, const QList<int>& activeIds) override;
    void blocksMerged(const QList<GameBlock*>& blocks) override;
    void gameOver(int score, int lines, const QString& playtime) override;

private:
    struct Driver {
        PlacementPolicy::Target target;
        std::array<int, GamePlayer::kKeys> keys{};
    };
    void drive(int slot, GamePlayer& player);

    RandomSource random_;
    ManualClock clock_;
    GameEvents* observer_;
    GameSimulation simulation_;
    std::array<Driver, GameSimulation::kSlots> drivers_{};
    bool crowded_;
    int piecesLanded_ = 0;
    bool over_ = false;
};
