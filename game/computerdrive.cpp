#include "computerdrive.h"

#include <algorithm>

#include "blockrecords.h"
#include "gamesimulation.h"
#include "playerkey.h"

void ComputerDrive::newBlock(const GameBlock& block, int fieldsizeX) {
    mirror_.addBlock(BlockRecord::of(block), fieldsizeX);
}

void ComputerDrive::blocksMoved(const QList<GameBlock*>& blocks, const QList<int>& activeIds) {
    mirror_.moveBlocks(GameMovement::of(blocks), activeIds);
}

void ComputerDrive::blocksMerged(const QList<GameBlock*>& blocks) {
    mirror_.mergeBlocks(GameMovement::of(blocks));
}

ComputerPlayer::Keys ComputerDrive::think(ComputerPlayer& computer, const GameSimulation& sim,
                                          const GamePlayer& player, qint64 nowMs,
                                          bool mayPlan) const {
    const int blockId = mirror_.activeBlockIds().value(playerKey(player.connId(), 0), -1);
    return computer.think(mirror_, blockId, sim.speed(), nowMs,
                          {player.keyCount(), player.keyDone()}, mayPlan);
}

bool ComputerDrive::press(GameSimulation& sim, const GamePlayer& player,
                          const ComputerPlayer::Keys& keys) {
    if (std::none_of(keys.begin(), keys.end(), [](int k) { return k != 0; })) {
        return false;
    }
    KeyInput input;
    input[0] = player.keyCount();
    input.add(0, keys);
    sim.processPlayerInput(player.connId(), input);
    return true;
}
