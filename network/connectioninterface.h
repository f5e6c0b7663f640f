#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

#include "game/blockrecords.h"
#include "game/gameblock.h"
#include "game/keyinput.h"
#include "network/admission.h"
#include "network/endpoint.h"
#include "network/payloadcodec.h"
#include "network/serverdata.h"

// What the server and the client see of the network: the events every
// connection raises (here) and, in the three role facades below, the
// operations each role calls and the events only that role hears. The
// Server holds two ServerConnections (stream and datagram) and a
// MasterConnection; the Client two ClientConnections and a MasterConnection.
// The implementations sit on ConnectionCore (connectionfacades.h); tests put
// recording fakes in their place.
//
// Every signal carries values: nothing handed over needs an owner.
//
// In signals whose names begin with changedS, connId is the client id of the
// sending connection. Whether that client may do what it asks (start, kick,
// restart) is the server's rule, not the connection's.
class ConnectionInterface : public QObject {
    Q_OBJECT

public:
    enum ConnectionError {
        InitError = 0,
        HostNotFound = 1,
        Refused = 2,
        ServerFull = 3,
        WrongPassword = 4,
        ConnectionLost = 5,
        Timeout = 6,
        PacketLoss = 7,
    };
    Q_ENUM(ConnectionError)

    explicit ConnectionInterface(QObject* parent = nullptr);
    ~ConnectionInterface() override;

    // clientId >= 0: the server drops that client ("SDSC" to all), or at
    // once without a word (its seat is kept for it). -1: leave gracefully
    // ("CDSC", at most the disconnect time-out), or at once.
    virtual void disconnectClient(int clientId, bool immediately) = 0;

Q_SIGNALS:
    void connectionEstablished(int connId, bool isAuthed);
    void errorOccured(int connId, ConnectionInterface::ConnectionError error);
    void connectionClosed(int connId);
};

// The game server's stream or datagram side: what a server sends to its clients.
class ServerConnection : public ConnectionInterface {
    Q_OBJECT

public:
    using ConnectionInterface::ConnectionInterface;

    // Adopts a socket accepted by the server's listener; returns its id.
    // relayedPeer: who is behind it when the socket's own peer is the relay
    // (no address: the socket's peer is the player).
    virtual int acceptSocket(qintptr socketDescriptor, const Endpoint& relayedPeer) = 0;
    // Who may join, asked at every hello (admission.h); not owned.
    virtual void setGate(PlayerGate* gate) = 0;
    // The invite code that proves this server to joiners by code (empty: none).
    virtual void setInviteCode(const QString& code) = 0;
    // The server ends: "SSHD" naming the client that ended it (-1: the
    // server itself) to everybody, then every connection is dropped unheard.
    virtual void shutDown(int byClientId) = 0;
    virtual void sendSPlayerlist(bool reliable, const PayloadCodec::PlayerList& list) = 0;
    virtual void sendSMessage(bool reliable, const PayloadCodec::ChatLine& line) = 0;
    virtual void sendSKick(bool reliable, int clientId) = 0;
    virtual void sendSStart(bool reliable, const PayloadCodec::GameStart& start) = 0;
    virtual void sendSRestart(bool reliable, int clientId) = 0;
    virtual void sendSGameState(bool reliable, int clientId,
                                const PayloadCodec::GameState& state) = 0;
    virtual void sendSNewBlock(bool reliable, const GameBlock& block) = 0;
    // keysDone: by client id, the key counters carried out for its players
    // (none for a client without a player).
    virtual void sendSMoveBlocks(bool reliable, const QList<GameBlock*>& blocks,
                                 const QList<int>& activeIds,
                                 const QList<std::optional<KeyInput>>& keysDone = {}) = 0;
    virtual void sendSMergeBlocks(bool reliable, const QList<GameBlock*>& blocks) = 0;
    virtual void sendSPause(bool reliable, const PayloadCodec::Pause& pause) = 0;
    virtual void sendSGameOver(bool reliable, const PayloadCodec::GameOver& over) = 0;
    // One piece of the last game's replay, to the client that asked ("SRP").
    virtual void sendSReplayPiece(int clientId, const PayloadCodec::ReplayPiece& piece) = 0;
    // Moves the clients' connections into a game or back to the lobby, which
    // decides what they are sent and what is heard from them; clientId -1:
    // all of them.
    virtual void setInGame(int clientId, bool inGame) = 0;

Q_SIGNALS:
    // What a server hears from its clients; connId is the sender's client id.
    void changedSPlayers(int connId, PayloadCodec::Players players);
    void changedSMessage(int connId, PayloadCodec::ChatLine line);
    void changedSPlayerStart(int connId);
    void changedSPlayerRestart(int connId);
    void changedSPlayerInput(int connId, KeyInput input);
    void changedSPlayerPause(int connId);
    void changedSPlayerDisconnect(int connId);
    void changedSPlayerKick(int connId, int clientId);
    // The client asks for the replay of the game that just ended ("CRP").
    void changedSReplayRequest(int connId);
};

// A client's stream or datagram connection to a game server.
class ClientConnection : public ConnectionInterface {
    Q_OBJECT

public:
    using ConnectionInterface::ConnectionInterface;

    // Opens a connection whose hello ("CHI") goes out once it is up.
    virtual int connectWithHello(const QHostAddress& address, int port, int players, int hostKey,
                                 const QString& password, int requestedId) = 0;
    // The next connection leaves from this local port (0: any free one): a
    // punched way's, the port the game's router was opened towards.
    virtual void setLocalPort(int port) = 0;
    // The next hello asks for the seat this token proves ("CRJ", for the
    // requested id) instead of a new one; empty: a plain hello.
    virtual void setRejoinToken(const QString& token) = 0;
    // Asks the server for every reliable datagram after the last one received.
    virtual void requestResend() = 0;
    virtual void sendCPlayers(bool reliable, const PayloadCodec::Players& players) = 0;
    virtual void sendCMessage(bool reliable, const PayloadCodec::ChatLine& line) = 0;
    virtual void sendCKick(bool reliable, int clientId) = 0;
    virtual void sendCStart(bool reliable) = 0;
    virtual void sendCRestart(bool reliable) = 0;
    virtual void sendCInput(bool reliable, const KeyInput& keys) = 0;
    virtual void sendCPause(bool reliable) = 0;
    // Asks for the replay of the game that just ended ("CRP").
    virtual void sendCReplayRequest() = 0;

Q_SIGNALS:
    // What a client hears from its server.
    void serverShutdown(int clientId);
    void changedCPlayerlist(PayloadCodec::PlayerList list);
    void changedCPinglist(PayloadCodec::PingList list);
    void changedCMessage(PayloadCodec::ChatLine line);
    void changedCGameStart(PayloadCodec::GameStart start);
    void changedCGameRestart(int clientId);
    void changedCGameState(PayloadCodec::GameState state);
    void changedCNewBlock(BlockRecord block);
    // keysDone: the ten key counters the server carried out for the local
    // players, each modulo PayloadCodec::kEchoWrap as they travel; empty when
    // the movement does not say.
    void changedCMoveBlocks(QList<GameMovement> movements, QList<int> activeBlockIds,
                            QList<int> keysDone);
    void changedCMergeBlocks(QList<GameMovement> movements);
    void changedCPause(PayloadCodec::Pause pause);
    void changedCGameOver(PayloadCodec::GameOver over);
    void changedCPlayerDisconnect(int clientId);
    void changedCPlayerKick(int clientId);
    // The server keeps this client's seat through a drop for whoever shows this token.
    void changedCSeatToken(QString token);
    // A piece of the last game's replay: index of count, the bytes.
    void changedCReplayPiece(int index, int count, QByteArray data);
};

// The link to the master server, and the probes of game servers.
class MasterConnection : public ConnectionInterface {
    Q_OBJECT

public:
    using ConnectionInterface::ConnectionInterface;

    // Opens the link to the master server (no hello); returns its id.
    virtual int connectToHost(const QHostAddress& address, int port) = 0;
    // Probes one game server ("CIN") for joining it by address.
    virtual void queryServer(const QHostAddress& address, int port) = 0;
    virtual void sendServerOnline(bool reliable, int port) = 0;
    virtual void sendServerOffline(bool reliable, int port) = 0;
    virtual void sendMasterTest(bool reliable) = 0;
    virtual void requestServerlist(bool reliable) = 0;
    // A game server's request for an invite code, and its keep-alive ("SRG",
    // once: the owner repeats it).
    virtual void sendRegistration(const PayloadCodec::Registration& registration) = 0;
    // Asks the master server where the game of an invite code is ("CJN",
    // repeated until answered): changedCInvite, or errorOccured.
    virtual void findInvite(const QString& code) = 0;
    // Probes a game server found by invite code: only an answer proven with
    // the code counts (changedCNewServer), else changedCServerUnreachable.
    // localPort: where the probe leaves from (0: any free port).
    virtual void queryInvitedServer(const QHostAddress& address, int port, const QString& code,
                                    int localPort) = 0;

Q_SIGNALS:
    // What the master server and probed game servers answer.
    void masterserverOnline(int connId);
    void masterserverResult(int connId, MasterserverResult result);
    void changedCNewServer(int connId, ServerData server);
    // The server probed for a join by address did not answer (or could not be
    // reached at all). It names the server because a failure of an earlier,
    // replaced probe may still be on its way when the next probe starts.
    void changedCServerUnreachable(int connId, QString address, int port);
    // The master server's answer to a registration: the code and what it
    // found of the game's reach.
    void changedCRegistration(int connId, PayloadCodec::RegistrationAnswer answer);
    // The answer to findInvite.
    void changedCInvite(int connId, PayloadCodec::InviteAnswer answer);
    // The master server announces a joiner of the game ("MPN").
    void changedCJoiner(int connId, PayloadCodec::JoinerNotice notice);
};
