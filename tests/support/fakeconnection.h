#pragma once

#include <QVariantList>

#include "network/connectioninterface.h"

// A connection that records every operation called on it instead of sending,
// so server and client logic can be tested without sockets. Tests raise the
// incoming events by emitting its signals directly.
class FakeConnection : public ConnectionInterface {
    Q_OBJECT

public:
    struct Call {
        QString op;
        QVariantList args;
    };

    explicit FakeConnection(bool datagram = false, QObject* parent = nullptr)
        : ConnectionInterface(QString(), 4, false, false, 0, datagram, -1, false, QString(), -1,
                              parent) {}

    QList<Call> calls;

    // Calls of one operation, oldest first.
    QList<QVariantList> callsOf(const QString& op) const;
    int count(const QString& op) const { return static_cast<int>(callsOf(op).size()); }
    QVariantList last(const QString& op) const;
    void clear() { calls.clear(); }

    int acceptSocket(qintptr socketDescriptor) override;
    int connectToHost(const QHostAddress& address, int port) override;
    int connectWithHello(const QHostAddress& address, int port, int players, int hostKey,
                         const QString& password, int requestedId) override;
    void requestResend() override;
    void disconnectClient(int clientId, bool immediately) override;
    void queryServer(const QHostAddress& address, int port) override;
    void sendCPlayers(bool reliable, const QStringList& names, const QList<int>& colors,
                      const QList<int>& status) override;
    void sendSPlayerlist(bool reliable, const QList<int>& connIds, const QStringList& names,
                         const QList<int>& colors, const QList<int>& status) override;
    void sendCMessage(bool reliable, int playerNr, const QString& message) override;
    void sendSMessage(bool reliable, int playerId, const QString& message) override;
    void sendCKick(bool reliable, int clientId) override;
    void sendSKick(bool reliable, int clientId) override;
    void sendCStart(bool reliable) override;
    void sendSStart(bool reliable, int clientId, int fieldsizeX, int countDown) override;
    void sendCRestart(bool reliable) override;
    void sendSRestart(bool reliable, int clientId) override;
    void sendSGameState(bool reliable, int clientId, int fieldsizeX, bool paused, int score,
                        const QString& playtime, const QByteArray& field,
                        const QList<GameBlock*>& blocks) override;
    void sendCInput(bool reliable, const QList<int>& keys) override;
    void sendSNewBlock(bool reliable, const GameBlock& block) override;
    void sendSMoveBlocks(bool reliable, const QList<GameBlock*>& blocks,
                         const QList<int>& activeIds) override;
    void sendSMergeBlocks(bool reliable, const QList<GameBlock*>& blocks) override;
    void sendCPause(bool reliable) override;
    void sendSPause(bool reliable, int clientId, int countDown) override;
    void sendSGameOver(bool reliable, int score, int lines, const QString& playtime) override;
    void sendServerOnline(bool reliable, int port) override;
    void sendServerOffline(bool reliable, int port) override;
    void sendMasterTest(bool reliable) override;
    void requestServerlist(bool reliable) override;

private:
    void record(const QString& op, const QVariantList& args) { calls.append({op, args}); }
    int nextId_ = 0;
};
