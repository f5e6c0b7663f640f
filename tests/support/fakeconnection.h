#pragma once

#include <QVariantList>
#include <functional>

#include "game/gameblock.h"
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

    static QVariant list(const QList<int>& values);
    // Blocks are recorded by value (id, colour, kind, x, y, rotation): the
    // sender keeps ownership and may change them after the call.
    static QVariant list(const GameBlock& b);
    static QVariant list(const QList<GameBlock*>& blocks);
    static QVariant list(const QList<BlockRecord>& blocks);

protected:
    void record(const QString& op, const QVariantList& args);
    int nextId_ = 0;
};

class FakeServerConnection : public ServerConnection, public CallLog {
public:
    void disconnectClient(int clientId, bool immediately) override {
        record("disconnectClient", {clientId, immediately});
    }
    int acceptSocket(qintptr socketDescriptor) override {
        record("acceptSocket", {QVariant::fromValue(socketDescriptor)});
        return nextId_++;
    }
    void setGate(PlayerGate* g) override { gate = g; }
    void shutDown(int byClientId) override { record("shutDown", {byClientId}); }
    // Recorded field by field, in the order of the payload.
    void sendSPlayerlist(bool reliable, const PayloadCodec::PlayerList& l) override {
        record("sendSPlayerlist",
               {reliable, list(l.connIds), l.names, list(l.colors), list(l.status)});
    }
    void sendSMessage(bool reliable, const PayloadCodec::ChatLine& line) override {
        record("sendSMessage", {reliable, line.player, line.text});
    }
    void sendSKick(bool reliable, int clientId) override {
        record("sendSKick", {reliable, clientId});
    }
    void sendSStart(bool reliable, const PayloadCodec::GameStart& s) override {
        record("sendSStart", {reliable, s.clientId, s.fieldsizeX, s.countDown});
    }
    void sendSRestart(bool reliable, int clientId) override {
        record("sendSRestart", {reliable, clientId});
    }
    void sendSGameState(bool reliable, int clientId, const PayloadCodec::GameState& s) override {
        record("sendSGameState", {reliable, clientId, s.fieldsizeX, s.paused, s.score, s.playtime,
                                  s.field, list(s.blocks)});
    }
    void sendSNewBlock(bool reliable, const GameBlock& block) override {
        record("sendSNewBlock", {reliable, list(block)});
    }
    void sendSMoveBlocks(bool reliable, const QList<GameBlock*>& blocks,
                         const QList<int>& activeIds,
                         const QList<std::optional<KeyInput>>& keysDone = {}) override {
        QVariantList done;  // by client id: its ten counters, or an empty list
        for (const std::optional<KeyInput>& d : keysDone) {
            done << list(d ? d->toList() : QList<int>{});
        }
        record("sendSMoveBlocks", {reliable, list(blocks), list(activeIds), done});
    }
    void sendSMergeBlocks(bool reliable, const QList<GameBlock*>& blocks) override {
        record("sendSMergeBlocks", {reliable, list(blocks)});
    }
    void sendSPause(bool reliable, const PayloadCodec::Pause& p) override {
        record("sendSPause", {reliable, p.clientId, p.countDown});
    }
    void sendSGameOver(bool reliable, const PayloadCodec::GameOver& o) override {
        record("sendSGameOver", {reliable, o.score, o.lines, o.playtime});
    }
    void setInGame(int clientId, bool inGame) override { record("setInGame", {clientId, inGame}); }

    // The server's gate, for tests that say hello through it.
    PlayerGate* gate = nullptr;
};

class FakeClientConnection : public ClientConnection, public CallLog {
public:
    void disconnectClient(int clientId, bool immediately) override {
        record("disconnectClient", {clientId, immediately});
    }
    int connectWithHello(const QHostAddress& address, int port, int players, int hostKey,
                         const QString& password, int requestedId) override {
        record("connectWithHello",
               {address.toString(), port, players, hostKey, password, requestedId});
        return nextId_++;
    }
    void requestResend() override { record("requestResend", {}); }
    void sendCPlayers(bool reliable, const QStringList& names, const QList<int>& colors,
                      const QList<int>& status) override {
        record("sendCPlayers", {reliable, names, list(colors), list(status)});
    }
    void sendCMessage(bool reliable, int playerNr, const QString& message) override {
        record("sendCMessage", {reliable, playerNr, message});
    }
    void sendCKick(bool reliable, int clientId) override {
        record("sendCKick", {reliable, clientId});
    }
    void sendCStart(bool reliable) override { record("sendCStart", {reliable}); }
    void sendCRestart(bool reliable) override { record("sendCRestart", {reliable}); }
    void sendCInput(bool reliable, const QList<int>& keys) override {
        record("sendCInput", {reliable, list(keys)});
    }
    void sendCPause(bool reliable) override { record("sendCPause", {reliable}); }
};

class FakeMasterConnection : public MasterConnection, public CallLog {
public:
    void disconnectClient(int clientId, bool immediately) override {
        record("disconnectClient", {clientId, immediately});
    }
    int connectToHost(const QHostAddress& address, int port) override {
        record("connectToHost", {address.toString(), port});
        return nextId_++;
    }
    void queryServer(const QHostAddress& address, int port) override {
        record("queryServer", {address.toString(), port});
    }
    void sendServerOnline(bool reliable, int port) override {
        record("sendServerOnline", {reliable, port});
    }
    void sendServerOffline(bool reliable, int port) override {
        record("sendServerOffline", {reliable, port});
    }
    void sendMasterTest(bool reliable) override { record("sendMasterTest", {reliable}); }
    void requestServerlist(bool reliable) override { record("requestServerlist", {reliable}); }
};
