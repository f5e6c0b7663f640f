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
#include "network/serverdata.h"

// What the server and the client see of the network: the events a
// connection raises (signals, the same for every role) and, in the three
// role facades below, the operations each role calls. The Server holds two
// ServerConnections (stream and datagram) and a MasterConnection; the Client
// two ClientConnections and a MasterConnection. The implementations sit on
// ConnectionCore (connectionfacades.h); tests put recording fakes in their
// place.
//
// Every signal carries values: nothing handed over needs an owner.
//
// In signals whose names begin with changedS, connId is the client id of the
// sending connection, except in changedSPlayerKick, whose connId is the
// connection id of the sender (the host).
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

    // clientId >= 0: the server drops that client ("SDSC" to all). -1: leave
    // gracefully ("CDSC", at most the disconnect time-out), or at once.
    virtual void disconnectClient(int clientId, bool immediately) = 0;

Q_SIGNALS:
    void connectionEstablished(int connId, bool isAuthed);
    void errorOccured(int connId, ConnectionInterface::ConnectionError error);
    void serverShutdown(int clientId);
    void connectionClosed(int connId);
    void changedSPlayers(int connId, QStringList names, QList<int> colors, QList<int> status);
    void changedCPlayerlist(QList<int> connIds, QStringList names, QList<int> colors,
                            QList<int> status);
    void changedCPinglist(QList<int> connIds, QList<int> pings);
    void changedSMessage(int connId, int playerNr, QString message);
    void changedCMessage(int playerId, QString message);
    void changedSPlayerStart(int connId);
    void changedCGameStart(int clientId, int fieldsizeX, int countDown);
    void changedSPlayerRestart(int connId);
    void changedCGameRestart(int clientId);
    void changedCGameState(int fieldsizeX, bool paused, int score, QString playtime,
                           QByteArray field, QList<BlockRecord> blocks);
    void changedSPlayerInput(int connId, QList<int> input);
    void changedCNewBlock(int blockId, int color, int kind, int xPos, int yPos, int rot);
    // keysDone: the ten key counters the server carried out for the local
    // players, empty when its movements do not say.
    void changedCMoveBlocks(QList<GameMovement> movements, QList<int> activeBlockIds,
                            QList<int> keysDone);
    void changedCMergeBlocks(QList<GameMovement> movements);
    void changedSPlayerPause(int connId);
    void changedCPause(int clientId, int countDown);
    void changedCGameOver(int score, int lines, QString playtime);
    void changedSPlayerDisconnect(int connId);
    void changedCPlayerDisconnect(int clientId);
    void changedSPlayerKick(int connId, int clientId);
    void changedCPlayerKick(int clientId);
    void masterserverOnline(int connId);
    void masterserverResult(int connId, MasterserverResult result);
    void changedCNewServer(int connId, ServerData server);
    // The server probed for a join by address did not answer (or could not be
    // reached at all). It names the server because a failure of an earlier,
    // replaced probe may still be on its way when the next probe starts.
    void changedCServerUnreachable(int connId, QString address, int port);
};

// The game server's stream or datagram side: what a server sends to its clients.
class ServerConnection : public ConnectionInterface {
    Q_OBJECT

public:
    using ConnectionInterface::ConnectionInterface;

    // Adopts a socket accepted by the server's listener; returns its id.
    virtual int acceptSocket(qintptr socketDescriptor) = 0;
    // Client ids of the connections that hold one, the joined and those
    // still saying goodbye.
    virtual QList<int> clientIds() const = 0;
    // Players the server seats itself, without a connection (computer
    // players): their ids are never handed to a client, each counts as one
    // player when clients join and in the server's answer to probes, and ping
    // lists show them with a fixed ping.
    virtual void setSeats(const QList<int>& clientIds) = 0;
    virtual void sendSPlayerlist(bool reliable, const QList<int>& connIds, const QStringList& names,
                                 const QList<int>& colors, const QList<int>& status) = 0;
    virtual void sendSMessage(bool reliable, int playerId, const QString& message) = 0;
    virtual void sendSKick(bool reliable, int clientId) = 0;
    virtual void sendSStart(bool reliable, int clientId, int fieldsizeX, int countDown) = 0;
    virtual void sendSRestart(bool reliable, int clientId) = 0;
    virtual void sendSGameState(bool reliable, int clientId, int fieldsizeX, bool paused, int score,
                                const QString& playtime, const QByteArray& field,
                                const QList<GameBlock*>& blocks) = 0;
    virtual void sendSNewBlock(bool reliable, const GameBlock& block) = 0;
    // keysDone: by client id, the key counters carried out for its players
    // (none for a client without a player).
    virtual void sendSMoveBlocks(bool reliable, const QList<GameBlock*>& blocks,
                                 const QList<int>& activeIds,
                                 const QList<std::optional<KeyInput>>& keysDone = {}) = 0;
    virtual void sendSMergeBlocks(bool reliable, const QList<GameBlock*>& blocks) = 0;
    virtual void sendSPause(bool reliable, int clientId, int countDown) = 0;
    virtual void sendSGameOver(bool reliable, int score, int lines, const QString& playtime) = 0;
};

// A client's stream or datagram connection to a game server.
class ClientConnection : public ConnectionInterface {
    Q_OBJECT

public:
    using ConnectionInterface::ConnectionInterface;

    // Opens a connection whose hello ("CHI") goes out once it is up.
    virtual int connectWithHello(const QHostAddress& address, int port, int players, int hostKey,
                                 const QString& password, int requestedId) = 0;
    // Asks the server for every reliable datagram after the last one received.
    virtual void requestResend() = 0;
    virtual void sendCPlayers(bool reliable, const QStringList& names, const QList<int>& colors,
                              const QList<int>& status) = 0;
    virtual void sendCMessage(bool reliable, int playerNr, const QString& message) = 0;
    virtual void sendCKick(bool reliable, int clientId) = 0;
    virtual void sendCStart(bool reliable) = 0;
    virtual void sendCRestart(bool reliable) = 0;
    virtual void sendCInput(bool reliable, const QList<int>& keys) = 0;
    virtual void sendCPause(bool reliable) = 0;
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
};
