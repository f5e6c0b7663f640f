#pragma once

#include <QVariantList>
#include <functional>

#include "network/connectioninterface.h"

// Connections that record every operation called on them instead of sending,
// so server and client logic can be tested without sockets. Tests raise the
// incoming events by emitting their signals directly. One fake per role, each
// with only its role's operations.
class CallLog {
public:
    struct Call {
        QString op;
        QVariantList args;
    };

    QList<Call> calls;
    // Called after each recorded call.
    std::function<void(const Call&)> onCall;

    // Calls of one operation, oldest first.
    QList<QVariantList> callsOf(const QString& op) const;
    int count(const QString& op) const { return static_cast<int>(callsOf(op).size()); }
    QVariantList last(const QString& op) const;
    void clear() { calls.clear(); }

protected:
    void record(const QString& op, const QVariantList& args);
    int nextId_ = 0;
};

class FakeServerConnection : public ServerConnection, public CallLog {
public:
    void disconnectClient(int clientId, bool immediately) override;
    int acceptSocket(qintptr socketDescriptor) override;
    QList<int> clientIds() const override { return connected; }
    void setSeats(const QList<int>& clientIds) override;
    void sendSPlayerlist(bool reliable, const QList<int>& connIds, const QStringList& names,
                         const QList<int>& colors, const QList<int>& status) override;
    void sendSMessage(bool reliable, int playerId, const QString& message) override;
    void sendSKick(bool reliable, int clientId) override;
    void sendSStart(bool reliable, int clientId, int fieldsizeX, int countDown) override;
    void sendSRestart(bool reliable, int clientId) override;
    void sendSGameState(bool reliable, int clientId, int fieldsizeX, bool paused, int score,
                        const QString& playtime, const QByteArray& field,
                        const QList<GameBlock*>& blocks) override;
    void sendSNewBlock(bool reliable, const GameBlock& block) override;
    void sendSMoveBlocks(bool reliable, const QList<GameBlock*>& blocks,
                         const QList<int>& activeIds,
                         const QList<std::optional<KeyInput>>& keysDone = {}) override;
    void sendSMergeBlocks(bool reliable, const QList<GameBlock*>& blocks) override;
    void sendSPause(bool reliable, int clientId, int countDown) override;
    void sendSGameOver(bool reliable, int score, int lines, const QString& playtime) override;

    // What clientIds answers: the ids a test says are connected.
    QList<int> connected;
};

class FakeClientConnection : public ClientConnection, public CallLog {
public:
    void disconnectClient(int clientId, bool immediately) override;
    int connectWithHello(const QHostAddress& address, int port, int players, int hostKey,
                         const QString& password, int requestedId) override;
    void requestResend() override;
    void sendCPlayers(bool reliable, const QStringList& names, const QList<int>& colors,
                      const QList<int>& status) override;
    void sendCMessage(bool reliable, int playerNr, const QString& message) override;
    void sendCKick(bool reliable, int clientId) override;
    void sendCStart(bool reliable) override;
    void sendCRestart(bool reliable) override;
    void sendCInput(bool reliable, const QList<int>& keys) override;
    void sendCPause(bool reliable) override;
};

class FakeMasterConnection : public MasterConnection, public CallLog {
public:
    void disconnectClient(int clientId, bool immediately) override;
    int connectToHost(const QHostAddress& address, int port) override;
    void queryServer(const QHostAddress& address, int port) override;
    void sendServerOnline(bool reliable, int port) override;
    void sendServerOffline(bool reliable, int port) override;
    void sendMasterTest(bool reliable) override;
    void requestServerlist(bool reliable) override;
};
