#include "connectionfacades.h"

#include "game/playerkey.h"
#include "network/masterlink.h"
#include "network/payloadcodec.h"

namespace {

using State = ConnectionState;
namespace Codec = PayloadCodec;

}  // namespace

// ---------------------------------------------------------------- server

NetServerConnection::NetServerConnection(const ConnectionSettings& settings,
                                         std::unique_ptr<Transport> transport, QObject* parent)
    : ServerConnection(parent),
      core_(new ConnectionCore(settings, *this, std::move(transport), this)) {}

void NetServerConnection::disconnectClient(int clientId, bool immediately) {
    core_->disconnectClient(clientId, immediately);
}

int NetServerConnection::acceptSocket(qintptr socketDescriptor, const Endpoint& relayedPeer) {
    return core_->transport().acceptSocket(socketDescriptor, relayedPeer);
}

void NetServerConnection::setGate(PlayerGate* gate) {
    core_->setGate(gate);
}

void NetServerConnection::setInviteCode(const QString& code) {
    core_->setInviteCode(code);
}

void NetServerConnection::shutDown(int byClientId) {
    core_->announceShutdown(byClientId);
}

void NetServerConnection::sendSPlayerlist(bool reliable, const Codec::PlayerList& list) {
    core_->sendMessage(-1, reliable, MessageCode::SPLR,
                       Codec::buildPlayerList(list.connIds, list.names, list.colors, list.status));
}

void NetServerConnection::sendSMessage(bool reliable, const Codec::ChatLine& line) {
    core_->sendMessage(-1, reliable, MessageCode::SMSG, Codec::buildChat(line.player, line.text));
}

void NetServerConnection::sendSKick(bool reliable, int clientId) {
    core_->sendMessage(-1, reliable, MessageCode::SKCK, Codec::buildNumber(clientId));
    if (const ConnectionInfo* kicked = core_->findEstablishedByClientId(clientId)) {
        core_->removeConnection(kicked->connId);
    }
}

void NetServerConnection::sendSStart(bool reliable, const Codec::GameStart& start) {
    core_->sendToStates({State::StateLobby, State::StateInGame}, reliable, MessageCode::SSRT,
                        Codec::buildGameStart(start.clientId, start.fieldsizeX, start.countDown));
}

void NetServerConnection::sendSRestart(bool reliable, int clientId) {
    core_->sendToStates({State::StateInGame}, reliable, MessageCode::SRST,
                        Codec::buildNumber(clientId));
}

void NetServerConnection::setInGame(int clientId, bool inGame) {
    const State from = inGame ? State::StateLobby : State::StateInGame;
    const State to = inGame ? State::StateInGame : State::StateLobby;
    if (clientId < 0) {
        core_->setStateWhere(from, to);
    } else if (ConnectionInfo* record = core_->findEstablishedByClientId(clientId)) {
        if (record->state == from) {
            record->state = to;
        }
    }
}

void NetServerConnection::sendSReplayPiece(int clientId, const Codec::ReplayPiece& piece) {
    if (const ConnectionInfo* record = core_->findEstablishedByClientId(clientId)) {
        core_->transmit(record->connId, false, MessageCode::SRP, Codec::buildReplayPiece(piece));
    }
}

void NetServerConnection::sendSGameState(bool reliable, int clientId,
                                         const Codec::GameState& state) {
    if (const ConnectionInfo* record = core_->findEstablishedByClientId(clientId)) {
        core_->transmit(record->connId, reliable, MessageCode::SCST,
                        Codec::buildGameState(state.fieldsizeX, state.paused, state.score,
                                              state.playtime, state.field, state.blocks));
    }
}

void NetServerConnection::sendSNewBlock(bool reliable, const GameBlock& block) {
    core_->sendToStates({State::StateInGame}, reliable, MessageCode::SBLC,
                        Codec::buildNewBlock(Codec::BlockRecord::of(block)));
}

void NetServerConnection::sendSMoveBlocks(bool reliable, const QList<GameBlock*>& blocks,
                                          const QList<int>& activeIds,
                                          const QList<std::optional<KeyInput>>& keysDone) {
    const QList<Codec::MoveRecord> moves = Codec::MoveRecord::of(blocks);
    for (int id : core_->establishedIds()) {
        const ConnectionInfo* record = core_->findInTable(ConnectionCore::Table::Established, id);
        if (record == nullptr || record->state != State::StateInGame) {
            continue;
        }
        // Each client learns which two blocks are its own.
        const int c = record->clientId;
        const int activeA = c >= 0 ? activeIds.value(playerKey(c, 0), -1) : -1;
        const int activeB = c >= 0 ? activeIds.value(playerKey(c, 1), -1) : -1;
        const std::optional<KeyInput> done = c >= 0 ? keysDone.value(c) : std::nullopt;
        core_->transmit(id, reliable, MessageCode::SMVE,
                        Codec::buildMoves(moves, activeA, activeB, done));
    }
}

void NetServerConnection::sendSMergeBlocks(bool reliable, const QList<GameBlock*>& blocks) {
    core_->sendToStates({State::StateInGame}, reliable, MessageCode::SMRG,
                        Codec::buildMerges(Codec::MoveRecord::of(blocks)));
}

void NetServerConnection::sendSPause(bool reliable, const Codec::Pause& pause) {
    core_->sendToStates({State::StateInGame}, reliable, MessageCode::SPSE,
                        Codec::buildPause(pause.clientId, pause.countDown));
}

void NetServerConnection::sendSGameOver(bool reliable, const Codec::GameOver& over) {
    core_->sendToStates({State::StateInGame}, reliable, MessageCode::SSTP,
                        Codec::buildGameOver(over.score, over.lines, over.playtime));
}

// ---------------------------------------------------------------- client

NetClientConnection::NetClientConnection(const ConnectionSettings& settings,
                                         std::unique_ptr<Transport> transport, QObject* parent)
    : ClientConnection(parent),
      core_(new ConnectionCore(settings, *this, std::move(transport), this)) {}

void NetClientConnection::disconnectClient(int clientId, bool immediately) {
    core_->disconnectClient(clientId, immediately);
}

int NetClientConnection::connectWithHello(const QHostAddress& address, int port, int players,
                                          int hostKey, const QString& password, int requestedId) {
    return core_->transport().connectWithHello(address, port, players, hostKey, password,
                                               requestedId);
}

void NetClientConnection::setLocalPort(int port) {
    core_->transport().setLocalPort(port);
}

void NetClientConnection::sendCReplayRequest() {
    core_->sendMessage(-1, false, MessageCode::CRP, QString());
}

void NetClientConnection::setRejoinToken(const QString& token) {
    core_->setRejoinToken(token);
}

void NetClientConnection::requestResend() {
    core_->requestResend();
}

void NetClientConnection::sendCPlayers(bool reliable, const Codec::Players& players) {
    core_->sendMessage(-1, reliable, MessageCode::CPLR,
                       Codec::buildPlayers(players.names, players.colors, players.status));
}

void NetClientConnection::sendCMessage(bool reliable, const Codec::ChatLine& line) {
    core_->sendMessage(-1, reliable, MessageCode::CMSG, Codec::buildChat(line.player, line.text));
}

void NetClientConnection::sendCKick(bool reliable, int clientId) {
    core_->sendMessage(-1, reliable, MessageCode::CKCK, Codec::buildNumber(clientId));
}

void NetClientConnection::sendCStart(bool reliable) {
    core_->sendToStates({State::StateLobby}, reliable, MessageCode::CSRT,
                        QLatin1String(Codec::kStart));
}

void NetClientConnection::sendCRestart(bool reliable) {
    core_->sendToStates({State::StateInGame}, reliable, MessageCode::CRST,
                        QLatin1String(Codec::kRestart));
}

void NetClientConnection::sendCInput(bool reliable, const KeyInput& keys) {
    core_->sendToStates({State::StateInGame}, reliable, MessageCode::CINP,
                        Codec::buildInput(keys.toList()));
}

void NetClientConnection::sendCPause(bool reliable) {
    core_->sendToStates({State::StateInGame}, reliable, MessageCode::CPSE,
                        QLatin1String(Codec::kPause));
}

// ---------------------------------------------------------------- master

NetMasterConnection::NetMasterConnection(const ConnectionSettings& settings,
                                         std::unique_ptr<Transport> transport, QObject* parent)
    : MasterConnection(parent),
      core_(new ConnectionCore(settings, *this, std::move(transport), this)) {}

void NetMasterConnection::disconnectClient(int clientId, bool immediately) {
    core_->disconnectClient(clientId, immediately);
}

int NetMasterConnection::connectToHost(const QHostAddress& address, int port) {
    return core_->transport().connectToHost(address, port);
}

void NetMasterConnection::queryServer(const QHostAddress& address, int port) {
    core_->masterLink().queryServer(address, port);
}

void NetMasterConnection::sendServerOnline(bool reliable, int port) {
    core_->masterLink().sendServerOnline(reliable, port);
}

void NetMasterConnection::sendServerOffline(bool reliable, int port) {
    core_->masterLink().sendServerOffline(reliable, port);
}

void NetMasterConnection::sendMasterTest(bool reliable) {
    core_->masterLink().sendMasterTest(reliable);
}

void NetMasterConnection::requestServerlist(bool reliable) {
    core_->masterLink().requestServerlist(reliable);
}

void NetMasterConnection::sendRegistration(const PayloadCodec::Registration& registration) {
    core_->masterLink().sendRegistration(registration);
}

void NetMasterConnection::findInvite(const QString& code) {
    core_->masterLink().findInvite(code);
}

void NetMasterConnection::queryInvitedServer(const QHostAddress& address, int port,
                                             const QString& code, int localPort) {
    core_->masterLink().queryServer(address, port, code, localPort);
}
