#pragma once

#include "network/messagecodes.h"

class ConnectionCore;
class ConnectionInfo;
struct ConnectionMessage;

// What a client hears from its game server: one handler per server code, as
// the code table (messagecodes.h) names them. The core has checked the sender
// side and the state the table asks for; the handlers move the record's state
// with the game and raise the changedC... events of the facade.
class ClientCodes {
public:
    explicit ClientCodes(ConnectionCore& core) : core_(core) {}

    void processHelloReply(ConnectionInfo& record, const ConnectionMessage& message);
    void processPlayerList(ConnectionInfo& record, const ConnectionMessage& message);
    void processChat(ConnectionInfo& record, const ConnectionMessage& message);
    void processPingList(ConnectionInfo& record, const ConnectionMessage& message);
    void processGameStart(ConnectionInfo& record, const ConnectionMessage& message);
    void processGameRestart(ConnectionInfo& record, const ConnectionMessage& message);
    void processGameState(ConnectionInfo& record, const ConnectionMessage& message);
    void processNewBlock(ConnectionInfo& record, const ConnectionMessage& message);
    void processMoveBlocks(ConnectionInfo& record, const ConnectionMessage& message);
    void processMergeBlocks(ConnectionInfo& record, const ConnectionMessage& message);
    void processPause(ConnectionInfo& record, const ConnectionMessage& message);
    void processGameOver(ConnectionInfo& record, const ConnectionMessage& message);
    void processPlayerDisconnect(ConnectionInfo& record, const ConnectionMessage& message);
    void processKick(ConnectionInfo& record, const ConnectionMessage& message);
    void processShutdown(ConnectionInfo& record, const ConnectionMessage& message);
    void processSeatToken(ConnectionInfo& record, const ConnectionMessage& message);
    void processReplayPiece(ConnectionInfo& record, const ConnectionMessage& message);

private:
    // Whether a code that ends the connection has standing on this side.
    bool endsOnDatagrams(const ConnectionInfo& record, MessageCode code) const;

    ConnectionCore& core_;
};
