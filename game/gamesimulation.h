#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <array>
#include <memory>
#include <optional>

#include "clock.h"
#include "gamefield.h"
#include "gameplayer.h"
#include "keyinput.h"
#include "randomsource.h"

// What a running game tells the outside world. The server turns each call into
// messages; the field simulation and tests listen directly. Blocks passed here
// belong to the simulation and must not be kept.
class GameEvents {
public:
    virtual ~GameEvents() = default;
    virtual void newBlock(const GameBlock& block) = 0;
    virtual void blocksMoved(const QList<GameBlock*>& blocks, const QList<int>& activeIds) = 0;
    virtual void blocksMerged(const QList<GameBlock*>& blocks) = 0;
    // Final score (play time included), lines and play time as hh:mm:ss.
    virtual void gameOver(int score, int lines, const QString& playtime) = 0;
};

// The game rules of one server: four player slots, the shared field, speed,
// score and the 20 ms tick. Knows nothing of timers, sockets or locks; its owner
// calls mainLoop on every tick and holds the server mutex around it.
class GameSimulation {
public:
    static constexpr int kSlots = GameField::kSlots;
    static constexpr int kMaxSpeed = 50;
    static constexpr int kTicksPerSpeedStep = 3000;
    static constexpr int kInputDelayTicks = 3;
    // How often the owner calls mainLoop: the server's tick, by which the
    // clients' prediction paces presses too.
    static constexpr int kTickMs = 20;
    static constexpr int kSpawnRow = 37;
    static constexpr int kSpawnDescentLowestY = 1300;
    static constexpr int kFieldHeightLimit = 25;  // a stack above this ends the game
    static constexpr int kParkStep = 500;         // units between the park positions

    explicit GameSimulation(RandomSource& random = RandomSource::forThisThread(),
                            const Clock& clock = Clock::system());
    ~GameSimulation();

    void setEvents(GameEvents* events) { events_ = events; }

    // Player slots, found by connection id and local player number.
    GamePlayer* player(int slot) const;
    int findPlayer(int connId, int local) const;
    // Puts a player in an empty slot under (connId, local); false if the slot is
    // taken or out of range.
    bool addPlayer(int slot, int connId, int local, std::unique_ptr<GamePlayer> player);
    // Empties the slot and hands the player (with its blocks) back.
    std::unique_ptr<GamePlayer> takePlayer(int slot);
    int playersInGame() const;
    // The current block of every player in the game, at the player's key
    // (playerKey).
    QList<int> activeBlockIds() const;
    // By connection id, as activeBlockIds: the key counters carried out for
    // the connection's players; none for a connection without a player.
    QList<std::optional<KeyInput>> keysDone() const;
    // Park position of a slot's next block (x and y alike, off the field);
    // blocks of a leaver go 10 times further.
    static constexpr int parkPosition(int slot) { return -kParkStep * (slot + 1); }
    static constexpr int leftPosition(int slot) { return -10 * kParkStep * (slot + 1); }
    // The slot whose next block waits at (x, y), -1 for a place that is no
    // slot's park position or is as far out as a leaver's blocks. Read loosely:
    // anything from one slot's park position to short of the next one's.
    static int parkedSlot(int x, int y);

    // Deals the first blocks on a field of the given width; spawn positions of
    // the players in the game must be set. False if the width is not 12..48.
    bool startGame(int fieldsizeX);
    // Deals fresh blocks to the player in the slot, who takes over a running
    // game: the current block appears above its spawn column the way one does
    // after a landing, and is announced with the next one.
    bool dealBlocks(int slot);
    // Marks the game as ended and drops the field block.
    void stopGame();
    // Restarts the play-time clock (the start countdown reached 0).
    void beginPlay();
    void setPaused(bool paused);
    // Jumps to a speed (1..50) at once: tests and figures of fast play skip
    // the slow start.
    void setSpeed(int speed);
    // Stores the ten key counters of a connection (five per local player).
    void processPlayerInput(int connId, const KeyInput& input);
    // One 20 ms tick.
    void mainLoop();

    bool running() const { return running_; }
    bool paused() const { return paused_; }
    int speed() const { return speed_; }
    int score() const { return score_; }
    int lines() const { return lines_; }
    int tickCount() const { return tickCount_; }
    int blockCounter() const { return blockCounter_; }
    int fieldsizeX() const { return field_.fieldsizeX(); }
    // Milliseconds played, pauses excluded.
    qint64 playtimeMs() const;
    static QString playtimeText(qint64 ms);
    GameField& field() { return field_; }
    const GameField& field() const { return field_; }

private:
    void movePlayer(int slot, GamePlayer& player);
    // Makes the next block current and deals a new next block.
    GameBlock* advanceBlocks(int slot, GamePlayer& player, bool spawn);
    void spawnDescent(GameBlock& block, int slot);
    std::unique_ptr<GameBlock> randomBlock(int colour, int x, int y);
    void endGame();

    RandomSource& random_;
    const Clock& clock_;
    GameEvents* events_ = nullptr;
    GameField field_;
    std::array<std::unique_ptr<GamePlayer>, kSlots> players_;
    QHash<int, int> playerMap_;

    bool running_ = false;
    bool paused_ = false;
    int blockCounter_ = 0;
    int tickCount_ = 0;
    int speed_ = 1;
    int score_ = 0;
    int lines_ = 0;
    qint64 playStartMs_ = -1;  // -1: the play-time clock is not running
    qint64 elapsed_ = 0;
    qint64 accumulated_ = 0;
};
