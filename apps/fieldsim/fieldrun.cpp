#include "fieldrun.h"

#include "game/gamegrid.h"

namespace {

constexpr int kPart = GameField::kColumnsPerPlayer;  // columns of each player

}  // namespace

FieldRun::FieldRun(int fieldsizeX, std::uint32_t seed, bool crowded, GameEvents* observer,
                   const std::vector<ComputerSkill>& skills, const People& people)
    : random_(seed), observer_(observer), simulation_(random_, clock_), crowded_(crowded) {
    simulation_.setEvents(this);
    const int players = fieldsizeX / kPart;
    const auto skillOf = [&](int slot) {
        return skills[std::min<std::size_t>(std::size_t((slot + players) % players),
                                            skills.size() - 1)];
    };
    for (int slot = 0; slot < players && !skills.empty(); ++slot) {
        const ComputerSkill skill = skillOf(slot);
        if (skill != ComputerSkill::Simple) {
            // Each player's own choices, yet the same for the same seed.
            computers_[slot] = std::make_unique<ComputerPlayer>(skill, seed * 4 + slot);
            // The simple policy stands in for a person, and so does any player
            // named one.
            const auto person = [&](int other) {
                other = (other + players) % players;
                return players > 1 && (skillOf(other) == ComputerSkill::Simple ||
                                       people[static_cast<std::size_t>(other)]);
            };
            const ComputerPlayer::Neighbours beside{person(slot - 1), person(slot + 1)};
            computers_[slot]->setPart(fieldsizeX, crowded ? 4 : slot * kPart, crowded ? 6 : kPart,
                                      crowded ? ComputerPlayer::Neighbours{} : beside);
            mirrored_ = true;
        }
    }
    for (int slot = 0; slot < players; ++slot) {
        auto p = std::make_unique<GamePlayer>(slot, QStringLiteral("Sim%1").arg(slot + 1), slot,
                                              false, GamePlayer::Playing);
        p->setSpawn((3 * slot + 1) * 4, 25);
        simulation_.addPlayer(slot, slot, 0, std::move(p));
    }
    simulation_.startGame(fieldsizeX);
    simulation_.beginPlay();
}

FieldRun::~FieldRun() = default;

ComputerPlayer* FieldRun::computer(int slot) const {
    return slot >= 0 && slot < GameSimulation::kSlots ? computers_[slot].get() : nullptr;
}

std::vector<PlacementPlanner::Claim> FieldRun::teamClaims() const {
    std::vector<PlacementPlanner::Claim> claims;
    for (const auto& computer : computers_) {
        if (const auto c = computer ? computer->claim() : std::nullopt) {
            claims.push_back(*c);
        }
    }
    return claims;
}

void FieldRun::newBlock(const GameBlock& block) {
    if (mirrored_) {
        drive_.newBlock(block, simulation_.fieldsizeX());
    }
    if (observer_) {
        observer_->newBlock(block);
    }
}

void FieldRun::blocksMoved(const QList<GameBlock*>& blocks, const QList<int>& activeIds) {
    if (mirrored_) {
        drive_.blocksMoved(blocks, activeIds);
    }
    if (observer_) {
        observer_->blocksMoved(blocks, activeIds);
    }
}

void FieldRun::blocksMerged(const QList<GameBlock*>& blocks) {
    piecesLanded_ += static_cast<int>(blocks.size());
    if (mirrored_) {
        drive_.blocksMerged(blocks);
    }
    if (observer_) {
        observer_->blocksMerged(blocks);
    }
}

void FieldRun::gameOver(int score, int lines, const QString& playtime) {
    if (observer_) {
        observer_->gameOver(score, lines, playtime);
    }
    over_ = true;
    simulation_.stopGame();
}

void FieldRun::drive(int slot, GamePlayer& player) {
    const GameBlock* block = player.currentBlock();
    Driver& d = drivers_[slot];
    const int fieldsizeX = simulation_.fieldsizeX();
    if (player.anyKeyPending()) {
        return;  // one press at a time, as a careful player would
    }
    // The others keep changing the stack, so look again before every press.
    const GameField& field = simulation_.field();
    d.target = PlacementPolicy::choose(
        [&field](int c, int r) { return field.cell(c, r) == GameField::kFieldBlockId; }, fieldsizeX,
        block->kind(), crowded_ ? 4 : slot * kPart, crowded_ ? 6 : kPart);
    const int column = GameGrid::column(fieldsizeX, block->x());
    const int key = PlacementPolicy::nextKey(block->rotation(), column, d.target, fieldsizeX);
    d.keys[key] = player.keyCount()[key] + 1;
    send(player, d);
}

void FieldRun::driveComputer(GamePlayer& player, ComputerPlayer& computer) {
    computer.setTeamClaims(teamClaims());
    ComputerDrive::press(simulation_, player,
                         drive_.think(computer, simulation_, player, clock_.nowMs()));
}

void FieldRun::send(const GamePlayer& player, Driver& d) {
    KeyInput input;
    for (int k = 0; k < GamePlayer::kKeys; ++k) {
        d.keys[k] = std::max(d.keys[k], player.keyCount()[k]);
        input[0][std::size_t(k)] = d.keys[k];
    }
    simulation_.processPlayerInput(player.connId(), input);
}

void FieldRun::feedInput() {
    if (over_) {
        return;
    }
    for (int slot = 0; slot < GameSimulation::kSlots; ++slot) {
        GamePlayer* p = simulation_.player(slot);
        if (p && p->isInGame() && p->currentBlock()) {
            if (computers_[slot]) {
                driveComputer(*p, *computers_[slot]);
            } else {
                drive(slot, *p);
            }
        }
    }
}

void FieldRun::tick() {
    if (over_) {
        return;
    }
    clock_.advance(20);
    simulation_.mainLoop();
}
