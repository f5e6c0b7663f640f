#pragma once

#include <memory>

#include "network/connectioncore.h"
#include "network/connectioninterface.h"

class QUdpSocket;

// The three role facades on a ConnectionCore: each builds the payloads of its
// role's send operations and hands them to the core, which owns the records
// and the transport. core() is there for the owner's wiring (admission
// rules, keep-alive, traffic figures) and for tests.

// The game server's stream side (PeerTransport over TCP) or datagram side
// (SharedDatagramTransport).
class NetServerConnection : public ServerConnection {
    Q_OBJECT

public:
    NetServerConnection(const ConnectionSettings& settings, std::unique_ptr<Transport> transport,
                        QObject* parent = nullptr);

    ConnectionCore& core() const { return *core_; }

    void disconnectClient(int clientId, bool immediately) override;
    int acceptSocket(qintptr socketDescriptor, const Endpoint& relayedPeer) override;
    void setGate(PlayerGate* gate) override;
    void setInviteCode(const QString& code) override;
    void shutDown(int byClientId) override;
    void sendSPlayerlist(bool reliable, const PayloadCodec::PlayerList& list) override;
    void sendSMessage(bool reliable, const PayloadCodec::ChatLine& line) override;
    void sendSKick(bool reliable, int clientId) override;
    void sendSStart(bool reliable, const PayloadCodec::GameStart& start) override;
    void sendSRestart(bool reliable, int clientId) override;
    void sendSGameState(bool reliable, int clientId, const PayloadCodec::GameState& state) override;
    void sendSNewBlock(bool reliable, const GameBlock& block) override;
    void sendSMoveBlocks(bool reliable, const QList<GameBlock*>& blocks,
                         const QList<int>& activeIds,
                         const QList<std::optional<KeyInput>>& keysDone = {}) override;
    void sendSMergeBlocks(bool reliable, const QList<GameBlock*>& blocks) override;
    void sendSPause(bool reliable, const PayloadCodec::Pause& pause) override;
    void sendSGameOver(bool reliable, const PayloadCodec::GameOver& over) override;
    void sendSReplayPiece(int clientId, const PayloadCodec::ReplayPiece& piece) override;
    void setInGame(int clientId, bool inGame) override;

private:
    ConnectionCore* core_;  // a child
};

// A client's stream (PeerTransport over TCP) or datagram (over UDP)
// connection to its game server.
class NetClientConnection : public ClientConnection {
    Q_OBJECT

public:
    NetClientConnection(const ConnectionSettings& settings, std::unique_ptr<Transport> transport,
                        QObject* parent = nullptr);

    ConnectionCore& core() const { return *core_; }

    void disconnectClient(int clientId, bool immediately) override;
    int connectWithHello(const QHostAddress& address, int port, int players, int hostKey,
                         const QString& password, int requestedId) override;
    void setLocalPort(int port) override;
    void setRejoinToken(const QString& token) override;
    void requestResend() override;
    void sendCPlayers(bool reliable, const PayloadCodec::Players& players) override;
    void sendCMessage(bool reliable, const PayloadCodec::ChatLine& line) override;
    void sendCKick(bool reliable, int clientId) override;
    void sendCStart(bool reliable) override;
    void sendCRestart(bool reliable) override;
    void sendCInput(bool reliable, const KeyInput& keys) override;
    void sendCPause(bool reliable) override;
    void sendCReplayRequest() override;

private:
    ConnectionCore* core_;  // a child
};

// The master server link and the probes (PeerTransport over UDP).
class NetMasterConnection : public MasterConnection {
    Q_OBJECT

public:
    NetMasterConnection(const ConnectionSettings& settings, std::unique_ptr<Transport> transport,
                        QObject* parent = nullptr);

    ConnectionCore& core() const { return *core_; }

    void disconnectClient(int clientId, bool immediately) override;
    int connectToHost(const QHostAddress& address, int port) override;
    void queryServer(const QHostAddress& address, int port) override;
    void sendServerOnline(bool reliable, int port) override;
    void sendServerOffline(bool reliable, int port) override;
    void sendMasterTest(bool reliable) override;
    void requestServerlist(bool reliable) override;
    void sendRegistration(const PayloadCodec::Registration& registration) override;
    void findInvite(const QString& code) override;
    void queryInvitedServer(const QHostAddress& address, int port, const QString& code,
                            int localPort) override;

private:
    ConnectionCore* core_;  // a child
};
