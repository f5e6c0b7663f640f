#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include "game/blockrecords.h"
#include "game/gameblock.h"
#include "network/serverdata.h"

// The one interface through which the server and the client talk to the
// network: send operations (slots) and the events they cause (signals).
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

    ConnectionInterface(const QString& name, int maxPlayers, bool singleplayer, bool stats,
                        int pingInterval, bool datagram, int hostKey, bool usePassword,
                        const QString& password, int timeout, QObject* parent = nullptr);
    ~ConnectionInterface() override;

    const QString& name() const { return name_; }
    const QString& password() const { return password_; }
    bool singleplayer() const { return singleplayer_; }
    bool stats() const { return stats_; }
    bool usePassword() const { return usePassword_; }
    bool datagram() const { return datagram_; }
    int maxPlayers() const { return maxPlayers_; }
    int pingInterval() const { return pingInterval_; }
    int hostKey() const { return hostKey_; }
    int timeout() const { return timeout_; }

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
    void changedCMoveBlocks(QList<GameMovement> movements, QList<int> activeBlockIds);
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

public Q_SLOTS:
    // Adopts a socket accepted by the server's listener; returns its id.
    virtual int acceptSocket(qintptr socketDescriptor) = 0;
    // Opens a connection without hello (master server, probes); returns its id.
    virtual int connectToHost(const QHostAddress& address, int port) = 0;
    // Opens a connection whose hello ("CHI") goes out once it is up.
    virtual int connectWithHello(const QHostAddress& address, int port, int players, int hostKey,
                                 const QString& password, int requestedId) = 0;
    virtual void requestResend() = 0;
    virtual void disconnectClient(int clientId, bool immediately) = 0;
    virtual void queryServer(const QHostAddress& address, int port) = 0;
    virtual void sendCPlayers(bool reliable, const QStringList& names, const QList<int>& colors,
                              const QList<int>& status) = 0;
    virtual void sendSPlayerlist(bool reliable, const QList<int>& connIds, const QStringList& names,
                                 const QList<int>& colors, const QList<int>& status) = 0;
    virtual void sendCMessage(bool reliable, int playerNr, const QString& message) = 0;
    virtual void sendSMessage(bool reliable, int playerId, const QString& message) = 0;
    virtual void sendCKick(bool reliable, int clientId) = 0;
    virtual void sendSKick(bool reliable, int clientId) = 0;
    virtual void sendCStart(bool reliable) = 0;
    virtual void sendSStart(bool reliable, int clientId, int fieldsizeX, int countDown) = 0;
    virtual void sendCRestart(bool reliable) = 0;
    virtual void sendSRestart(bool reliable, int clientId) = 0;
    virtual void sendSGameState(bool reliable, int clientId, int fieldsizeX, bool paused, int score,
                                const QString& playtime, const QByteArray& field,
                                const QList<GameBlock*>& blocks) = 0;
    virtual void sendCInput(bool reliable, const QList<int>& keys) = 0;
    virtual void sendSNewBlock(bool reliable, const GameBlock& block) = 0;
    virtual void sendSMoveBlocks(bool reliable, const QList<GameBlock*>& blocks,
                                 const QList<int>& activeIds) = 0;
    virtual void sendSMergeBlocks(bool reliable, const QList<GameBlock*>& blocks) = 0;
    virtual void sendCPause(bool reliable) = 0;
    virtual void sendSPause(bool reliable, int clientId, int countDown) = 0;
    virtual void sendSGameOver(bool reliable, int score, int lines, const QString& playtime) = 0;
    virtual void sendServerOnline(bool reliable, int port) = 0;
    virtual void sendServerOffline(bool reliable, int port) = 0;
    virtual void sendMasterTest(bool reliable) = 0;
    virtual void requestServerlist(bool reliable) = 0;

private:
    QString name_;
    QString password_;
    bool singleplayer_;
    bool stats_;
    bool usePassword_;
    bool datagram_;
    int maxPlayers_;
    int pingInterval_;
    int hostKey_;
    int timeout_;
};
