#pragma once

#include <QList>
#include <QString>
#include <functional>

#include "game/gamesimulation.h"

class ComputerSeats;
class SessionChannels;

// What the players hear of a running game: each tick's new, moved and merged
// blocks (the computer players are told as well), the end of the game, and
// the snapshot sent to a player who joins
// a running game. It is the simulation's event sink; what the end of a game
// means for the server comes through gameEnded, after the players heard it.
class GameBroadcast : public GameEvents {
public:
    using GameEnded = std::function<void(int score, int lines, const QString& playtime)>;

    GameBroadcast(const GameSimulation& sim, ComputerSeats& seats, SessionChannels& players,
                  GameEnded gameEnded);

    // The field, the blocks in play, score and play time; nothing while no
    // game runs.
    void sendGameState(int connId) const;

    void newBlock(const GameBlock& block) override;
    void blocksMoved(const QList<GameBlock*>& blocks, const QList<int>& activeIds) override;
    void blocksMerged(const QList<GameBlock*>& blocks) override;
    void gameOver(int score, int lines, const QString& playtime) override;

private:
    const GameSimulation& sim_;
    ComputerSeats& seats_;
    SessionChannels& players_;
    GameEnded gameEnded_;
};
