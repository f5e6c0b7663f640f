#pragma once

#include <QList>
#include <array>
#include <memory>
#include <vector>

#include "game/blockrecords.h"
#include "game/computerdrive.h"
#include "game/computerplayer.h"
#include "game/fieldmirror.h"
#include "game/gamesimulation.h"
#include "game/placementpolicy.h"

// Plays a game on the real rules with one computer player per 12 columns, no
// network and no timers: each step feeds key presses and runs one tick. The
// simple players read the server's field; the others read a client's copy of
// it, kept from the same events a client gets.
class FieldRun : public GameEvents {
public:
    // crowded: every player aims at the same few columns, so blocks meet and
    // appear on top of each other far more often than in a real game.
    // observer: hears every event of the game as well, from the first block on.
    // skills: one per player, or one for all; none means simple players.
    // people: players the computers beside them take for a person, as they do
    // a simple player; a planning player there plays at its level's pace.
    using People = std::array<bool, GameSimulation::kSlots>;
    FieldRun(int fieldsizeX, std::uint32_t seed, bool crowded = false,
             GameEvents* observer = nullptr, const std::vector<ComputerSkill>& skills = {},
             const People& people = {});
    ~FieldRun() override;

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
    // The computer player of a slot; null for a simple player.
    ComputerPlayer* computer(int slot) const;
    // Where the computers' pieces are headed, as they stand now; each knows
    // its own by its block id.
    std::vector<PlacementPlanner::Claim> teamClaims() const;
    const FieldMirror& mirror() const { return drive_.mirror(); }

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
    void driveComputer(GamePlayer& player, ComputerPlayer& computer);
    void send(const GamePlayer& player, Driver& d);

    RandomSource random_;
    ManualClock clock_;
    GameEvents* observer_;
    GameSimulation simulation_;
    std::array<Driver, GameSimulation::kSlots> drivers_{};
    std::array<std::unique_ptr<ComputerPlayer>, GameSimulation::kSlots> computers_;
    ComputerDrive drive_;
    bool mirrored_ = false;  // only computer players need the copy
    bool crowded_;
    int piecesLanded_ = 0;
    bool over_ = false;
};
