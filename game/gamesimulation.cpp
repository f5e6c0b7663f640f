#include "gamesimulation.h"

#include <QTime>
#include <algorithm>

#include "gamegrid.h"
#include "playerkey.h"

namespace {

constexpr int kCell = GameGrid::kCell;

}  // namespace

GameSimulation::GameSimulation(RandomSource& random, const Clock& clock)
    : random_(random), clock_(clock) {}

GameSimulation::~GameSimulation() = default;

int GameSimulation::parkedSlot(int x, int y) {
    const int farthest = leftPosition(0) + 1;
    const int nearest = parkPosition(0);
    if (x < farthest || x > nearest || y < farthest || y > nearest) {
        return -1;
    }
    const int slot = -x / kParkStep - 1;
    return slot < kSlots ? slot : -1;
}

GamePlayer* GameSimulation::player(int slot) const {
    return (slot >= 0 && slot < kSlots) ? players_[slot].get() : nullptr;
}

int GameSimulation::findPlayer(int connId, int local) const {
    if (local < 0 || local > 1) {
        return -1;
    }
    return playerMap_.value(playerKey(connId, local), -1);
}

bool GameSimulation::addPlayer(int slot, int connId, int local,
                               std::unique_ptr<GamePlayer> player) {
    if (slot < 0 || slot >= kSlots || players_[slot] || !player || local < 0 || local > 1 ||
        playerMap_.contains(playerKey(connId, local))) {
        return false;
    }
    players_[slot] = std::move(player);
    playerMap_.insert(playerKey(connId, local), slot);
    return true;
}

std::unique_ptr<GamePlayer> GameSimulation::takePlayer(int slot) {
    if (slot < 0 || slot >= kSlots || !players_[slot]) {
        return nullptr;
    }
    for (auto it = playerMap_.begin(); it != playerMap_.end();) {
        it = it.value() == slot ? playerMap_.erase(it) : std::next(it);
    }
    return std::move(players_[slot]);
}

int GameSimulation::playersInGame() const {
    return static_cast<int>(std::count_if(players_.begin(), players_.end(),
                                          [](const auto& p) { return p && p->isInGame(); }));
}

QList<int> GameSimulation::activeBlockIds() const {
    QList<int> ids;
    ids.reserve(kSlots * 2);
    for (int connId = 0; connId < kSlots; ++connId) {
        for (int local = 0; local < 2; ++local) {
            const GamePlayer* p = player(findPlayer(connId, local));
            ids.append(p && p->isInGame() && p->currentBlock() ? p->currentBlock()->id() : -1);
        }
    }
    return ids;
}

QList<std::optional<KeyInput>> GameSimulation::keysDone() const {
    QList<std::optional<KeyInput>> out;
    out.reserve(kSlots);
    for (int connId = 0; connId < kSlots; ++connId) {
        std::optional<KeyInput> done;
        for (int local = 0; local < kLocalPlayers; ++local) {
            if (const GamePlayer* p = player(findPlayer(connId, local))) {
                done = done.value_or(KeyInput{});
                (*done)[local] = p->keyDone();
            }
        }
        out << done;
    }
    return out;
}

std::unique_ptr<GameBlock> GameSimulation::randomBlock(int colour, int x, int y) {
    ++blockCounter_;
    return std::make_unique<GameBlock>(blockCounter_, colour, x, y, field_.fieldsizeX(), random_);
}

bool GameSimulation::startGame(int fieldsizeX) {
    if (!field_.reset(fieldsizeX)) {
        return false;
    }
    paused_ = false;
    running_ = true;
    tickCount_ = 0;
    speed_ = 1;
    lines_ = 0;
    score_ = 0;
    blockCounter_ = 0;
    if (events_) {
        events_->newBlock(*field_.fieldBlock());
    }

    QList<GameBlock*> dealt;
    for (int slot = 0; slot < kSlots; ++slot) {
        GamePlayer* p = players_[slot].get();
        if (!p || !p->isInGame()) {
            continue;
        }
        p->resetKeys(true);
        p->setInputDelay(-1);
        p->setCurrentBlock(
            randomBlock(p->colour(), p->spawnColumn() * kCell, p->spawnRow() * kCell));
        p->setNextBlock(randomBlock(p->colour(), parkPosition(slot), parkPosition(slot)));
        if (events_) {
            events_->newBlock(*p->currentBlock());
            events_->newBlock(*p->nextBlock());
        }
        dealt.append(p->currentBlock());
    }
    if (events_) {
        events_->blocksMoved(dealt, activeBlockIds());
    }
    accumulated_ = 0;
    elapsed_ = 0;
    playStartMs_ = -1;
    return true;
}

bool GameSimulation::dealBlocks(int slot) {
    GamePlayer* p = player(slot);
    if (!running_ || !p || !p->isInGame() || !field_.fieldBlock()) {
        return false;
    }
    p->resetKeys(true);
    p->setInputDelay(-1);
    p->setSpawn(p->spawnColumn(), kSpawnRow);
    p->setNextBlock(randomBlock(p->colour(), parkPosition(slot), parkPosition(slot)));
    GameBlock* n = advanceBlocks(slot, *p, true);
    field_.clearFlags(slot);
    spawnDescent(*n, slot);
    if (events_) {
        events_->newBlock(*n);
        events_->newBlock(*p->nextBlock());
        events_->blocksMoved({n}, activeBlockIds());
    }
    return true;
}

void GameSimulation::stopGame() {
    running_ = false;
    field_.clearFieldBlock();
}

void GameSimulation::beginPlay() {
    playStartMs_ = clock_.nowMs();
}

qint64 GameSimulation::playtimeMs() const {
    return accumulated_ + elapsed_;
}

QString GameSimulation::playtimeText(qint64 ms) {
    return QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms % 86400000)).toString(Qt::ISODate);
}

void GameSimulation::setSpeed(int speed) {
    speed_ = std::clamp(speed, 1, kMaxSpeed);
}

void GameSimulation::setPaused(bool paused) {
    if (!paused_ && paused && playStartMs_ >= 0) {
        accumulated_ += clock_.nowMs() - playStartMs_;
    }
    if (paused_ && !paused) {
        playStartMs_ = clock_.nowMs();
    }
    paused_ = paused;
    elapsed_ = 0;
}

void GameSimulation::processPlayerInput(int connId, const KeyInput& input) {
    if (paused_) {
        return;
    }
    for (int local = 0; local < 2; ++local) {
        GamePlayer* p = player(findPlayer(connId, local));
        if (!p) {
            continue;
        }
        p->keyCount() = input[local];
    }
}

void GameSimulation::movePlayer(int slot, GamePlayer& p) {
    // The block on the server's own field: a touch of the stack in a fall lands it.
    class OnField : public MovingBlock {
    public:
        OnField(GameField& field, GameBlock& block, int slot)
            : field_(field), block_(block), slot_(slot) {}
        int fieldsizeX() const override { return field_.fieldsizeX(); }
        BlockPlace place() const override { return {block_.x(), block_.y(), block_.rotation()}; }
        bool moveTo(const BlockPlace& to) override {
            return field_.moveBlock(block_, to.x, to.y, to.rotation, slot_);
        }
        GameField::DropPlace dropPlace(int x, int fromY, int rotation) const override {
            return field_.dropPlace(block_, x, fromY, rotation);
        }

    private:
        GameField& field_;
        GameBlock& block_;
        int slot_;
    };
    OnField block(field_, *p.currentBlock(), slot);
    stepKeys(block, p.keyCount(), p.keys(), speed_, kInputDelayTicks);
}

void GameSimulation::spawnDescent(GameBlock& n, int slot) {
    for (int ny = kSpawnRow * kCell; ny >= kSpawnDescentLowestY; ny -= kCell) {
        if (field_.moveBlock(n, n.x(), ny, n.rotation(), slot)) {
            break;
        }
    }
    // Two blocks appearing at once may overlap. One that found no free place in
    // the descent keeps looking further down, so it never shares cells with
    // another block; touching the stack there lands it and the game ends.
    for (int ny = std::min(n.y(), kSpawnDescentLowestY) - kCell;
         !field_.occupies(n) && !field_.landed(slot); ny -= kCell) {
        if (field_.moveBlock(n, n.x(), ny, n.rotation(), slot)) {
            break;
        }
    }
    field_.claimFreeCells(n);
}

GameBlock* GameSimulation::advanceBlocks(int slot, GamePlayer& p, bool spawn) {
    std::unique_ptr<GameBlock> n = p.takeNextBlock();
    GameBlock* current = n.get();
    if (spawn) {
        n->setPosition(p.spawnColumn() * kCell, p.spawnRow() * kCell, n->rotation());
    }
    p.setCurrentBlock(std::move(n));
    p.setNextBlock(randomBlock(p.colour(), parkPosition(slot), parkPosition(slot)));
    return current;
}

void GameSimulation::mainLoop() {
    field_.clearFlags();
    if (paused_ || !running_) {
        return;
    }
    elapsed_ = playStartMs_ >= 0 ? clock_.nowMs() - playStartMs_ : 0;
    if (tickCount_ > kTicksPerSpeedStep - 1) {
        tickCount_ = 0;
        if (speed_ < kMaxSpeed) {
            ++speed_;
        }
    }

    // A block whose keys were carried out is reported even when it stayed
    // where it was (a refused turn): its movement says what was done.
    std::array<bool, kSlots> keysDone{};
    for (int slot = 0; slot < kSlots; ++slot) {
        GamePlayer* p = players_[slot].get();
        if (p && p->isInGame() && p->currentBlock() && !p->away()) {
            const KeyCounts before = p->keyDone();
            movePlayer(slot, *p);
            keysDone[slot] = p->keyDone() != before;
        }
    }

    QList<GameBlock*> moves;
    QList<GameBlock*> merges;
    std::vector<std::unique_ptr<GameBlock>> landed;
    for (int slot = 0; slot < kSlots; ++slot) {
        GamePlayer* p = players_[slot].get();
        if (!p || !p->isInGame() || !p->currentBlock()) {
            continue;
        }
        if (field_.landed(slot)) {
            p->resetKeys(false);
            landed.push_back(p->takeCurrentBlock());
            const GameBlock& old = *landed.back();
            merges.append(landed.back().get());
            if (field_.stackHeight() < kFieldHeightLimit + 1) {
                p->setSpawn(GameGrid::column(field_.fieldsizeX(), old.x()), kSpawnRow);
                GameBlock* n = advanceBlocks(slot, *p, true);
                field_.clearFlags(slot);
                spawnDescent(*n, slot);
                if (events_) {
                    events_->newBlock(*p->nextBlock());
                }
                moves.append(n);
            } else {
                advanceBlocks(slot, *p, false);  // the game ends below
            }
        } else if (field_.moved(slot) || keysDone[slot]) {
            moves.append(p->currentBlock());
        }
    }
    if (!merges.isEmpty() && events_) {
        events_->blocksMerged(merges);
    }
    landed.clear();
    if (!moves.isEmpty() && events_) {
        events_->blocksMoved(moves, activeBlockIds());
    }

    if (field_.stackHeight() <= kFieldHeightLimit) {
        std::array<GameBlock*, kSlots> falling{};
        for (int slot = 0; slot < kSlots; ++slot) {
            GamePlayer* p = players_[slot].get();
            falling[slot] = (p && p->isInGame()) ? p->currentBlock() : nullptr;
        }
        const GameField::LineClear clear = field_.removeFullLines(falling, [this](GameBlock& b) {
            if (events_) {
                events_->blocksMoved({&b}, activeBlockIds());
            }
        });
        score_ += clear.points;
        lines_ += clear.rows;
    } else {
        endGame();
    }
    ++tickCount_;
}

void GameSimulation::endGame() {
    const qint64 ms = playtimeMs();
    const QTime t = QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms % 86400000));
    score_ += 3600 * t.hour() + 60 * t.minute() + t.second();
    const QString text = t.toString(Qt::ISODate);
    if (events_) {
        events_->gameOver(score_, lines_, text);  // the owner stops the game from here
    }
    running_ = false;
}
