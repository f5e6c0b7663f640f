#include "server/gamebroadcast.h"

#include "network/fieldimage.h"
#include "server/computerseats.h"
#include "server/sessionchannels.h"

GameBroadcast::GameBroadcast(const GameSimulation& sim, ComputerSeats& seats,
                             SessionChannels& players, GameEnded gameEnded)
    : sim_(sim), seats_(seats), players_(players), gameEnded_(std::move(gameEnded)) {}

void GameBroadcast::sendGameState(int connId) const {
    const GameBlock* fieldBlock = sim_.field().fieldBlock();
    if (!sim_.running() || !fieldBlock) {
        return;
    }
    PayloadCodec::GameState state;
    state.fieldsizeX = sim_.fieldsizeX();
    state.paused = sim_.paused();
    state.score = sim_.score();
    state.playtime = GameSimulation::playtimeText(sim_.playtimeMs());
    state.field = FieldImage::pack(*fieldBlock, state.fieldsizeX);
    for (int slot = 0; slot < GameSimulation::kSlots; ++slot) {
        const GamePlayer* p = sim_.player(slot);
        if (!p || !p->isInGame()) {
            continue;
        }
        for (GameBlock* b : {p->currentBlock(), p->nextBlock()}) {
            if (b) {
                state.blocks << BlockRecord::of(*b);
            }
        }
    }
    players_.gameState(connId, state);
}

void GameBroadcast::newBlock(const GameBlock& block) {
    seats_.newBlock(block);
    players_.newBlock(block);
}

void GameBroadcast::blocksMoved(const QList<GameBlock*>& blocks, const QList<int>& activeIds) {
    seats_.blocksMoved(blocks, activeIds);
    players_.moves(blocks, activeIds, sim_.keysDone());
}

void GameBroadcast::blocksMerged(const QList<GameBlock*>& blocks) {
    seats_.blocksMerged(blocks);
    players_.merges(blocks);
}

void GameBroadcast::gameOver(int score, int lines, const QString& playtime) {
    players_.gameOver({score, lines, playtime});
    gameEnded_(score, lines, playtime);
}
