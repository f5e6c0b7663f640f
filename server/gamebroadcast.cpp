#include "server/gamebroadcast.h"

#include "network/connectioninterface.h"
#include "network/fieldimage.h"
#include "server/computerseats.h"

GameBroadcast::GameBroadcast(const GameSimulation& sim, ComputerSeats& seats,
                             ServerConnection& stream, ServerConnection& datagram,
                             GameEnded gameEnded)
    : sim_(sim),
      seats_(seats),
      stream_(stream),
      datagram_(datagram),
      gameEnded_(std::move(gameEnded)) {}

void GameBroadcast::sendGameState(int connId) const {
    const GameBlock* fieldBlock = sim_.field().fieldBlock();
    if (!sim_.running() || !fieldBlock) {
        return;
    }
    const int fieldsizeX = sim_.fieldsizeX();
    const QByteArray field = FieldImage::pack(*fieldBlock, fieldsizeX);
    QList<GameBlock*> blocks;
    for (int slot = 0; slot < GameSimulation::kSlots; ++slot) {
        const GamePlayer* p = sim_.player(slot);
        if (!p || !p->isInGame()) {
            continue;
        }
        for (GameBlock* b : {p->currentBlock(), p->nextBlock()}) {
            if (b) {
                blocks << b;
            }
        }
    }
    const QString playtime = GameSimulation::playtimeText(sim_.playtimeMs());
    for (ServerConnection* c : {&stream_, &datagram_}) {
        c->sendSGameState(true, connId, fieldsizeX, sim_.paused(), sim_.score(), playtime, field,
                          blocks);
    }
}

void GameBroadcast::newBlock(const GameBlock& block) {
    seats_.newBlock(block);
    datagram_.sendSNewBlock(true, block);
}

void GameBroadcast::blocksMoved(const QList<GameBlock*>& blocks, const QList<int>& activeIds) {
    seats_.blocksMoved(blocks, activeIds);
    datagram_.sendSMoveBlocks(false, blocks, activeIds, sim_.keysDone());
}

void GameBroadcast::blocksMerged(const QList<GameBlock*>& blocks) {
    seats_.blocksMerged(blocks);
    datagram_.sendSMergeBlocks(true, blocks);
}

void GameBroadcast::gameOver(int score, int lines, const QString& playtime) {
    stream_.sendSGameOver(true, score, lines, playtime);
    datagram_.sendSGameOver(true, score, lines, playtime);
    gameEnded_(score, lines, playtime);
}
