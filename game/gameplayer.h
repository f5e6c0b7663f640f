#pragma once

#include <QString>
#include <array>
#include <memory>

#include "gameblock.h"
#include "keyslot.h"
#include "movestep.h"

// One player slot of the server (or the GUI's copy of one).
class GamePlayer {
public:
    enum PlayerStatus {
        Empty = 0,
        Connecting = 1,
        Waiting = 2,
        Ready = 3,
        Playing = 4,
        Spectating = 5,
        Pausing = 6,
    };
    static constexpr int kKeys = kKeySlots;
    static constexpr int kNoPing = 999;
    // Player lists send a colour the server chose itself as that colour minus this.
    static constexpr int kAutoColourMark = 10;

    GamePlayer(int connId, const QString& name, int colour, bool autoColour, PlayerStatus status);
    ~GamePlayer();
    GamePlayer(const GamePlayer&) = delete;
    GamePlayer& operator=(const GamePlayer&) = delete;

    // Any int from the wire maps to a status; unknown values are Empty.
    static PlayerStatus statusFromInt(int value);

    // Taking part in the running game: only these have blocks that move.
    bool isInGame() const { return status_ == Playing || status_ == Pausing; }
    // Its connection dropped and the seat waits for it: its block stays
    // where it is, neither falling nor taking keys.
    bool away() const { return away_; }
    void setAway(bool away) { away_ = away; }

    int spawnColumn() const { return spawnColumn_; }
    int spawnRow() const { return spawnRow_; }
    void setSpawn(int column, int row) {
        spawnColumn_ = column;
        spawnRow_ = row;
    }
    int ping() const { return ping_; }
    void setPing(int ping) { ping_ = ping; }
    int connId() const { return connId_; }
    void setConnId(int connId) { connId_ = connId; }
    const QString& name() const { return name_; }
    void setName(const QString& name) { name_ = name; }
    int colour() const { return colour_; }
    void setColour(int colour) { colour_ = colour; }
    bool autoColour() const { return autoColour_; }
    void setAutoColour(bool autoColour) { autoColour_ = autoColour; }
    PlayerStatus status() const { return status_; }
    void setStatus(PlayerStatus status) { status_ = status; }

    std::array<int, kKeys>& keyCount() { return keyCount_; }
    const std::array<int, kKeys>& keyCount() const { return keyCount_; }
    std::array<int, kKeys>& keyDone() { return keys_.done; }
    const std::array<int, kKeys>& keyDone() const { return keys_.done; }
    bool anyKeyPending() const { return keyCount_ != keys_.done; }
    // What the tick keeps of the keys between ticks.
    KeyProgress& keys() { return keys_; }
    void setInputDelay(int delay) { keys_.inputDelay = delay; }
    bool pendingLeft() const { return keys_.pendingLeft; }
    bool pendingRight() const { return keys_.pendingRight; }

    GameBlock* currentBlock() const { return currentBlock_.get(); }
    GameBlock* nextBlock() const { return nextBlock_.get(); }
    void setCurrentBlock(std::unique_ptr<GameBlock> block) { currentBlock_ = std::move(block); }
    void setNextBlock(std::unique_ptr<GameBlock> block) { nextBlock_ = std::move(block); }
    std::unique_ptr<GameBlock> takeCurrentBlock() { return std::move(currentBlock_); }
    std::unique_ptr<GameBlock> takeNextBlock() { return std::move(nextBlock_); }

    // all: both counter sets to 0 (a new game). Otherwise pending presses are
    // dropped (the block landed). Side steps waiting for room are dropped too.
    void resetKeys(bool all);

private:
    int spawnColumn_ = -1;
    int spawnRow_ = -1;
    int ping_ = kNoPing;
    int connId_;
    std::array<int, kKeys> keyCount_{};
    KeyProgress keys_;
    QString name_;
    std::unique_ptr<GameBlock> currentBlock_;
    std::unique_ptr<GameBlock> nextBlock_;
    int colour_;
    bool autoColour_;
    PlayerStatus status_;
    bool away_ = false;
};
