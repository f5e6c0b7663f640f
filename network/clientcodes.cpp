#include "clientcodes.h"

#include "network/admission.h"
#include "network/connectioncore.h"
#include "network/networklog.h"
#include "network/payloadcodec.h"
#include "network/serverclaims.h"

namespace {

using State = ConnectionState;
namespace Codec = PayloadCodec;

}  // namespace

void ClientCodes::processHelloReply(ConnectionInfo& record, const ConnectionMessage& message) {
    const Codec::HelloReply reply = Codec::parseHelloReply(message.content);
    // A refusal leaves the record as it is: the owner clears the connection
    // on the error, and until then the hello keeps being repeated.
    switch (static_cast<HelloOutcome>(reply.clientId)) {
        case HelloOutcome::ServerFull:
            Q_EMIT core_.events().errorOccured(-1, ConnectionInterface::ServerFull);
            return;
        case HelloOutcome::Refused:
            Q_EMIT core_.events().errorOccured(-1, ConnectionInterface::Refused);
            return;
        case HelloOutcome::WrongPassword:
            Q_EMIT core_.events().errorOccured(-1, ConnectionInterface::WrongPassword);
            return;
        case HelloOutcome::Accepted:
            break;
    }
    if (ServerClaims::clientId(reply.clientId) < 0) {
        return;  // no such answer: a client id names one of the player slots
    }
    record.resendTimer.stop();
    record.awaitingAnswer = false;
    record.clientId = reply.clientId;
    record.channel.markArrival(core_.nowMs());
    record.state = State::StateLobby;
    core_.moveRecord(record.connId, ConnectionCore::Table::Established);
    core_.watchEstablished(record);
    Q_EMIT core_.events().connectionEstablished(reply.clientId, reply.isHost);
}

void ClientCodes::processSeatToken(ConnectionInfo&, const ConnectionMessage& message) {
    const QString token = Codec::parseSeatToken(message.content);
    ClientConnection* e = core_.eventsAs<ClientConnection>();
    if (e != nullptr && !token.isEmpty()) {
        Q_EMIT e->changedCSeatToken(token);
    }
}

void ClientCodes::processReplayPiece(ConnectionInfo&, const ConnectionMessage& message) {
    const Codec::ReplayPiece piece = Codec::parseReplayPiece(message.content);
    ClientConnection* e = core_.eventsAs<ClientConnection>();
    if (e != nullptr && piece.count > 0) {
        Q_EMIT e->changedCReplayPiece(piece.index, piece.count, piece.data);
    }
}

void ClientCodes::processPlayerList(ConnectionInfo&, const ConnectionMessage& message) {
    const Codec::PlayerList list =
        ServerClaims::playerList(Codec::parsePlayerList(message.content));
    if (ClientConnection* e = core_.eventsAs<ClientConnection>()) {
        Q_EMIT e->changedCPlayerlist(list);
    }
}

void ClientCodes::processChat(ConnectionInfo&, const ConnectionMessage& message) {
    if (const auto line = ServerClaims::chat(Codec::parseChat(message.content))) {
        if (ClientConnection* e = core_.eventsAs<ClientConnection>()) {
            Q_EMIT e->changedCMessage(*line);
        }
    }
}

void ClientCodes::processPingList(ConnectionInfo& record, const ConnectionMessage& message) {
    // Answer first: the server measures the time until the pong.
    core_.transmit(record.connId, false, MessageCode::CPNG, QLatin1String(Codec::kPong));
    const Codec::PingList list = ServerClaims::pingList(Codec::parsePingList(message.content));
    qCDebug(lcNetwork) << "ping list" << list.connIds << list.pings;
    if (ClientConnection* e = core_.eventsAs<ClientConnection>()) {
        Q_EMIT e->changedCPinglist(list);
    }
}

void ClientCodes::processGameStart(ConnectionInfo& record, const ConnectionMessage& message) {
    record.state = State::StateInGame;
    const Codec::GameStart start = ServerClaims::gameStart(Codec::parseGameStart(message.content));
    if (ClientConnection* e = core_.eventsAs<ClientConnection>()) {
        Q_EMIT e->changedCGameStart(start);
    }
}

void ClientCodes::processGameRestart(ConnectionInfo& record, const ConnectionMessage& message) {
    record.state = State::StateLobby;
    if (ClientConnection* e = core_.eventsAs<ClientConnection>()) {
        Q_EMIT e->changedCGameRestart(ServerClaims::clientId(Codec::parseNumber(message.content)));
    }
}

void ClientCodes::processGameState(ConnectionInfo& record, const ConnectionMessage& message) {
    record.state = State::StateInGame;
    const Codec::GameState state = ServerClaims::gameState(Codec::parseGameState(message.content));
    if (ClientConnection* e = core_.eventsAs<ClientConnection>()) {
        Q_EMIT e->changedCGameState(state);
    }
}

void ClientCodes::processNewBlock(ConnectionInfo&, const ConnectionMessage& message) {
    if (const auto b = ServerClaims::block(Codec::parseNewBlock(message.content))) {
        if (ClientConnection* e = core_.eventsAs<ClientConnection>()) {
            Q_EMIT e->changedCNewBlock(*b);
        }
    }
}

void ClientCodes::processMoveBlocks(ConnectionInfo&, const ConnectionMessage& message) {
    const Codec::Moves moves = ServerClaims::moves(Codec::parseMoves(message.content));
    if (ClientConnection* e = core_.eventsAs<ClientConnection>()) {
        Q_EMIT e->changedCMoveBlocks(moves.moves, moves.activeIds,
                                     moves.keysDone ? moves.keysDone->toList() : QList<int>{});
    }
}

void ClientCodes::processMergeBlocks(ConnectionInfo&, const ConnectionMessage& message) {
    if (ClientConnection* e = core_.eventsAs<ClientConnection>()) {
        Q_EMIT e->changedCMergeBlocks(ServerClaims::merges(Codec::parseMerges(message.content)));
    }
}

void ClientCodes::processPause(ConnectionInfo&, const ConnectionMessage& message) {
    const Codec::Pause pause = ServerClaims::pause(Codec::parsePause(message.content));
    if (ClientConnection* e = core_.eventsAs<ClientConnection>()) {
        Q_EMIT e->changedCPause(pause);
    }
}

void ClientCodes::processGameOver(ConnectionInfo& record, const ConnectionMessage& message) {
    record.state = State::StateLobby;
    const Codec::GameOver over = ServerClaims::gameOver(Codec::parseGameOver(message.content));
    if (ClientConnection* e = core_.eventsAs<ClientConnection>()) {
        Q_EMIT e->changedCGameOver(over);
    }
}

// Standing of the words that end a client's connection on datagrams, where
// anyone can send from the server's address and port: the server says each of
// them on the stream as well, and the owner ends both connections on the
// stream's word. So on datagrams a goodbye naming us counts only as the answer
// to our own goodbye (we are closing), a shutdown ("SSHD") not at all, and a
// kick ("SKCK", numbered) only when its number fits the channel.
bool ClientCodes::endsOnDatagrams(const ConnectionInfo& record, MessageCode code) const {
    return !core_.usesDatagrams() || code == MessageCode::SKCK ||
           (code == MessageCode::SDSC && record.state == State::StateClosing);
}

void ClientCodes::processPlayerDisconnect(ConnectionInfo& record,
                                          const ConnectionMessage& message) {
    const int clientId = ServerClaims::clientId(Codec::parseNumber(message.content));
    if (clientId == record.clientId) {
        if (!endsOnDatagrams(record, MessageCode::SDSC)) {
            core_.dropUnheard(record, message, "a goodbye we did not ask for");
            return;
        }
        // The answer to our own goodbye.
        Q_EMIT core_.events().connectionClosed(clientId);
        core_.clearConnections();
        return;
    }
    if (ClientConnection* e = core_.eventsAs<ClientConnection>()) {
        Q_EMIT e->changedCPlayerDisconnect(clientId);
    }
}

void ClientCodes::processKick(ConnectionInfo& record, const ConnectionMessage& message) {
    const int clientId = ServerClaims::clientId(Codec::parseNumber(message.content));
    const bool own = clientId == record.clientId;
    if (ClientConnection* e = core_.eventsAs<ClientConnection>()) {
        Q_EMIT e->changedCPlayerKick(clientId);
    }
    if (own) {
        core_.clearConnections();
    }
}

void ClientCodes::processShutdown(ConnectionInfo& record, const ConnectionMessage& message) {
    if (!endsOnDatagrams(record, MessageCode::SSHD)) {
        core_.dropUnheard(record, message, "a shutdown the stream did not say");
        return;
    }
    if (ClientConnection* e = core_.eventsAs<ClientConnection>()) {
        Q_EMIT e->serverShutdown(ServerClaims::clientId(Codec::parseNumber(message.content)));
    }
    core_.clearConnections();
}
