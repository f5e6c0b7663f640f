#pragma once

#include "network/admission.h"

class ConnectionCore;
class ConnectionInfo;
struct ConnectionMessage;

// What a game server hears: one handler per client code, as the code table
// (messagecodes.h) names them. The core has checked the sender side and the
// state the table asks for; a handler asks the server's PlayerGate who may
// join and raises the changedS... events of the facade. Whether the sender
// may do what it asks is the server's to decide.
class ServerCodes {
public:
    explicit ServerCodes(ConnectionCore& core) : core_(core) {}

    void processHello(ConnectionInfo& record, const ConnectionMessage& message);
    void processRejoin(ConnectionInfo& record, const ConnectionMessage& message);
    void processReplayRequest(ConnectionInfo& record, const ConnectionMessage& message);
    void processPlayers(ConnectionInfo& record, const ConnectionMessage& message);
    void processChat(ConnectionInfo& record, const ConnectionMessage& message);
    void processPong(ConnectionInfo& record, const ConnectionMessage& message);
    void processStartRequest(ConnectionInfo& record, const ConnectionMessage& message);
    void processRestartRequest(ConnectionInfo& record, const ConnectionMessage& message);
    void processInput(ConnectionInfo& record, const ConnectionMessage& message);
    void processPauseRequest(ConnectionInfo& record, const ConnectionMessage& message);
    void processDisconnectRequest(ConnectionInfo& record, const ConnectionMessage& message);
    void processKickRequest(ConnectionInfo& record, const ConnectionMessage& message);
    void processInfoRequest(ConnectionInfo& record, const ConnectionMessage& message);

private:
    // "SHI": a client id >= 0 establishes the record before the answer goes out.
    void replyHello(int connId, int clientId, bool isHost);
    // A hello or a rejoin was decided: the answer, and the seat's token.
    void admitted(ConnectionInfo& record, const PlayerGate::Verdict& verdict, int players);
    void refuseHello(int connId, HelloOutcome outcome);

    ConnectionCore& core_;
};
