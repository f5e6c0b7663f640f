#include "server/sessionchannels.h"

#include <algorithm>

#include "network/connectioninterface.h"

template <typename Send>
void SessionChannels::on(MessageCode code, Send send) {
    MessageCodes::onChannels(code, stream_, datagram_, send);
}

void SessionChannels::setInGame(int clientId, bool inGame) {
    // A game's first moves tell its counters afresh.
    if (clientId < 0) {
        echoes_.clear();
    } else {
        echoes_.erase(clientId);
    }
    stream_.setInGame(clientId, inGame);
    datagram_.setInGame(clientId, inGame);
}

void SessionChannels::playerList(const PayloadCodec::PlayerList& list) {
    on(MessageCode::SPLR, [&](ServerConnection& c) { c.sendSPlayerlist(true, list); });
}

void SessionChannels::chat(int sender, const QString& text) {
    on(MessageCode::SMSG, [&](ServerConnection& c) { c.sendSMessage(true, {sender, text}); });
}

void SessionChannels::kick(int clientId) {
    on(MessageCode::SKCK, [&](ServerConnection& c) { c.sendSKick(true, clientId); });
}

void SessionChannels::start(const PayloadCodec::GameStart& start) {
    on(MessageCode::SSRT, [&](ServerConnection& c) { c.sendSStart(true, start); });
    setInGame(-1, true);
}

void SessionChannels::restart(int clientId) {
    on(MessageCode::SRST, [&](ServerConnection& c) { c.sendSRestart(true, clientId); });
    setInGame(-1, false);
}

void SessionChannels::gameState(int clientId, const PayloadCodec::GameState& state) {
    on(MessageCode::SCST, [&](ServerConnection& c) { c.sendSGameState(true, clientId, state); });
    setInGame(clientId, true);
}

void SessionChannels::newBlock(const GameBlock& block) {
    on(MessageCode::SBLC, [&](ServerConnection& c) { c.sendSNewBlock(true, block); });
}

void SessionChannels::moves(const QList<GameBlock*>& blocks, const QList<int>& activeIds,
                            const QList<std::optional<KeyInput>>& keysDone) {
    const QList<std::optional<KeyInput>> told = echoed(keysDone);
    on(MessageCode::SMVE,
       [&](ServerConnection& c) { c.sendSMoveBlocks(false, blocks, activeIds, told); });
}

QList<std::optional<KeyInput>> SessionChannels::echoed(
    const QList<std::optional<KeyInput>>& keysDone) {
    QList<std::optional<KeyInput>> told(keysDone.size());
    for (qsizetype c = 0; c < keysDone.size(); ++c) {
        const std::optional<KeyInput>& done = keysDone[c];
        if (!done) {
            continue;
        }
        Echo& echo = echoes_[int(c)];
        if (done != echo.done) {
            echo.done = done;
            echo.copiesLeft = kEchoCopies;
        }
        ++echo.movesSinceSent;
        if (echo.copiesLeft > 0 || echo.movesSinceSent >= kEchoRefreshMoves) {
            told[c] = done;
            echo.copiesLeft = std::max(0, echo.copiesLeft - 1);
            echo.movesSinceSent = 0;
        }
    }
    return told;
}

void SessionChannels::merges(const QList<GameBlock*>& blocks) {
    on(MessageCode::SMRG, [&](ServerConnection& c) { c.sendSMergeBlocks(true, blocks); });
}

void SessionChannels::pause(const PayloadCodec::Pause& pause) {
    on(MessageCode::SPSE, [&](ServerConnection& c) { c.sendSPause(true, pause); });
}

void SessionChannels::gameOver(const PayloadCodec::GameOver& over) {
    on(MessageCode::SSTP, [&](ServerConnection& c) { c.sendSGameOver(true, over); });
    setInGame(-1, false);
}

void SessionChannels::disconnect(int clientId) {
    on(MessageCode::SDSC, [&](ServerConnection& c) { c.disconnectClient(clientId, false); });
}

void SessionChannels::drop(int clientId) {
    on(MessageCode::SDSC, [&](ServerConnection& c) { c.disconnectClient(clientId, true); });
}

void SessionChannels::shutDown(int byClientId) {
    on(MessageCode::SSHD, [&](ServerConnection& c) { c.shutDown(byClientId); });
}
