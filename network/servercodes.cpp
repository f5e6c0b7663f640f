#include "servercodes.h"

#include <algorithm>
#include <limits>

#include "game/appinfo.h"
#include "network/connectioncore.h"
#include "network/payloadcodec.h"

namespace {

using State = ConnectionState;
namespace Codec = PayloadCodec;

}  // namespace

void ServerCodes::replyHello(int connId, int clientId, bool isHost) {
    ConnectionInfo* record = core_.find(connId);
    if (record == nullptr) {
        return;
    }
    if (clientId >= 0) {
        record->state = State::StateLobby;
        core_.moveRecord(connId, ConnectionCore::Table::Established);
    }
    core_.transmit(connId, false, MessageCode::SHI, Codec::buildHelloReply(clientId, isHost));
}

void ServerCodes::refuseHello(int connId, HelloOutcome outcome) {
    replyHello(connId, static_cast<int>(outcome), false);  // the wire value
    core_.removeConnection(connId);
}

void ServerCodes::processHello(ConnectionInfo& record, const ConnectionMessage& message) {
    const int connId = record.connId;
    const bool established = core_.isEstablished(connId);
    PlayerGate* gate = core_.gate();
    if (record.state == State::StateLobby && established) {
        // The client missed our answer and asked again.
        replyHello(connId, record.clientId, gate != nullptr && gate->isHost(record.clientId));
        return;
    }
    if (record.state != State::StateHandshake || established) {
        return;
    }
    const Codec::Hello hello = Codec::parseHello(message.content);
    admitted(record,
             gate != nullptr ? gate->admit(core_.channel(), hello, record.address)
                             : PlayerGate::Verdict{},
             hello.players);
}

void ServerCodes::admitted(ConnectionInfo& record, const PlayerGate::Verdict& verdict,
                           int players) {
    const int connId = record.connId;
    if (verdict.outcome != HelloOutcome::Accepted) {
        refuseHello(connId, verdict.outcome);
        return;
    }
    record.clientId = verdict.clientId;
    record.players = players;
    core_.addPlayers(record.players);
    core_.watchEstablished(record);
    replyHello(connId, verdict.clientId, verdict.isHost);
    if (!verdict.token.isEmpty()) {
        // Unnumbered: a client that does not know the code drops it unread
        // and its numbering stays whole.
        core_.transmit(connId, false, MessageCode::STK, verdict.token);
    }
}

void ServerCodes::processRejoin(ConnectionInfo& record, const ConnectionMessage& message) {
    const int connId = record.connId;
    PlayerGate* gate = core_.gate();
    if (core_.usesDatagrams()) {
        // A seat is proven on the stream; the datagrams follow with a hello.
        core_.dropUnheard(record, message, "a rejoin on datagrams");
        return;
    }
    if (record.state == State::StateLobby && core_.isEstablished(connId)) {
        replyHello(connId, record.clientId, gate != nullptr && gate->isHost(record.clientId));
        return;
    }
    if (record.state != State::StateHandshake || core_.isEstablished(connId)) {
        return;
    }
    const Codec::Rejoin rejoin = Codec::parseRejoin(message.content);
    admitted(record,
             gate != nullptr && !rejoin.token.isEmpty() ? gate->rejoin(rejoin, record.address)
                                                        : PlayerGate::Verdict{},
             rejoin.players);
}

void ServerCodes::processReplayRequest(ConnectionInfo& record, const ConnectionMessage&) {
    if (ServerConnection* e = core_.eventsAs<ServerConnection>()) {
        Q_EMIT e->changedSReplayRequest(record.clientId);
    }
}

void ServerCodes::processPlayers(ConnectionInfo& record, const ConnectionMessage& message) {
    Codec::Players players = Codec::parsePlayers(message.content);
    // A connection speaks for as many players as its hello said: a second
    // name from a single player's connection would take a slot of its own.
    for (qsizetype local = record.players; local < players.names.size(); ++local) {
        players.names[local].clear();
    }
    if (ServerConnection* e = core_.eventsAs<ServerConnection>()) {
        Q_EMIT e->changedSPlayers(record.clientId, players);
    }
}

void ServerCodes::processChat(ConnectionInfo& record, const ConnectionMessage& message) {
    if (ServerConnection* e = core_.eventsAs<ServerConnection>()) {
        Q_EMIT e->changedSMessage(record.clientId, Codec::parseChat(message.content));
    }
}

void ServerCodes::processPong(ConnectionInfo& record, const ConnectionMessage&) {
    if (record.pingClockStart >= 0) {
        record.ping = static_cast<int>(std::min<qint64>(core_.nowMs() - record.pingClockStart,
                                                        std::numeric_limits<int>::max()));
    }
}

void ServerCodes::processStartRequest(ConnectionInfo& record, const ConnectionMessage&) {
    if (ServerConnection* e = core_.eventsAs<ServerConnection>()) {
        Q_EMIT e->changedSPlayerStart(record.clientId);
    }
}

void ServerCodes::processRestartRequest(ConnectionInfo& record, const ConnectionMessage&) {
    if (ServerConnection* e = core_.eventsAs<ServerConnection>()) {
        Q_EMIT e->changedSPlayerRestart(record.clientId);
    }
}

void ServerCodes::processInput(ConnectionInfo& record, const ConnectionMessage& message) {
    if (ServerConnection* e = core_.eventsAs<ServerConnection>()) {
        Q_EMIT e->changedSPlayerInput(record.clientId,
                                      KeyInput::fromList(Codec::parseInput(message.content)));
    }
}

void ServerCodes::processPauseRequest(ConnectionInfo& record, const ConnectionMessage&) {
    if (ServerConnection* e = core_.eventsAs<ServerConnection>()) {
        Q_EMIT e->changedSPlayerPause(record.clientId);
    }
}

void ServerCodes::processDisconnectRequest(ConnectionInfo& record,
                                           const ConnectionMessage& message) {
    // On datagrams a goodbye has no standing of its own: anyone can send one
    // from a player's address and port. The client says it on its stream as
    // well, and the server ends the player's datagram connection on the
    // stream's word (disconnectClient), answering "SDSC" there too.
    if (core_.usesDatagrams()) {
        core_.dropUnheard(record, message, "a goodbye the stream did not confirm");
        return;
    }
    const int connId = record.connId;
    const int clientId = record.clientId;
    record.state = State::StateClosing;
    // The server may end the game for everybody here (its host left).
    if (ServerConnection* e = core_.eventsAs<ServerConnection>()) {
        Q_EMIT e->changedSPlayerDisconnect(clientId);
    }
    if (core_.isEstablished(connId)) {
        core_.sendPlayerDisconnect(clientId);
        core_.removeConnection(connId);
    }
}

void ServerCodes::processKickRequest(ConnectionInfo& record, const ConnectionMessage& message) {
    if (ServerConnection* e = core_.eventsAs<ServerConnection>()) {
        Q_EMIT e->changedSPlayerKick(record.clientId, Codec::parseNumber(message.content));
    }
}

void ServerCodes::processInfoRequest(ConnectionInfo& record, const ConnectionMessage& message) {
    const int connId = record.connId;
    const ConnectionSettings& s = core_.settings();
    QString info = Codec::buildServerInfo(QString::fromLatin1(Quadrell::kVersion), s.stats,
                                          core_.gate() != nullptr ? core_.gate()->playerCount() : 0,
                                          s.maxPlayers, s.usePassword, s.name);
    // Only a joiner by code asks with a nonce; the proof goes to nobody else.
    const QString nonce = Codec::parseInfoRequestNonce(message.content);
    if (!nonce.isEmpty() && !s.inviteCode.isEmpty()) {
        info = Codec::withProof(info, s.inviteCode, nonce);
    }
    core_.transmit(connId, false, MessageCode::SIN, info);
    // A stranger asking is forgotten at once; a player who asks stays.
    if (!core_.isEstablished(connId)) {
        core_.removeConnection(connId);
    }
}
