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

// The operation every role has.
template <class Role>
class FakeRole : public Role, public CallLog {
public:
    void disconnectClient(int clientId, bool immediately) override {
        record(__func__, {clientId, immediately});
    }
};

class FakeServerConnection : public FakeRole<ServerConnection> {
public:
    int acceptSocket(qintptr socketDescriptor, const Endpoint&) override {
        record(__func__, {QVariant::fromValue(socketDescriptor)});
        return nextId_++;
    }
    void setGate(PlayerGate* g) override { gate = g; }
    void setInviteCode(const QString& code) override { record(__func__, {code}); }
    void shutDown(int byClientId) override { record(__func__, {byClientId}); }
    // Recorded field by field, in the order of the payload.
    void sendSPlayerlist(bool reliable, const PayloadCodec::PlayerList& l) override {
        record(__func__, {reliable, list(l.connIds), l.names, list(l.colors), list(l.status)});
    }
    void sendSMessage(bool reliable, const PayloadCodec::ChatLine& line) override {
        record(__func__, {reliable, line.player, line.text});
    }
    void sendSKick(bool reliable, int clientId) override { record(__func__, {reliable, clientId}); }
    void sendSStart(bool reliable, const PayloadCodec::GameStart& s) override {
        record(__func__, {reliable, s.clientId, s.fieldsizeX, s.countDown});
    }
    void sendSRestart(bool reliable, int id) override { record(__func__, {reliable, id}); }
    void sendSGameState(bool reliable, int clientId, const PayloadCodec::GameState& s) override {
        record(__func__, {reliable, clientId, s.fieldsizeX, s.paused, s.score, s.playtime, s.field,
                          list(s.blocks)});
    }
    void sendSReplayPiece(int clientId, const PayloadCodec::ReplayPiece& piece) override {
        record(__func__, {clientId, piece.index, piece.count, piece.data});
    }
    void sendSNewBlock(bool reliable, const GameBlock& block) override {
        record(__func__, {reliable, list(block)});
    }
    void sendSMoveBlocks(bool reliable, const QList<GameBlock*>& blocks,
                         const QList<int>& activeIds,
                         const QList<std::optional<KeyInput>>& keysDone = {}) override {
        QVariantList done;  // by client id: its ten counters, or an empty list
        for (const std::optional<KeyInput>& d : keysDone) {
            done << list(d ? d->toList() : QList<int>{});
        }
        record(__func__, {reliable, list(blocks), list(activeIds), done});
    }
    void sendSMergeBlocks(bool reliable, const QList<GameBlock*>& blocks) override {
        record(__func__, {reliable, list(blocks)});
    }
    void sendSPause(bool reliable, const PayloadCodec::Pause& p) override {
        record(__func__, {reliable, p.clientId, p.countDown});
    }
    void sendSGameOver(bool reliable, const PayloadCodec::GameOver& o) override {
        record(__func__, {reliable, o.score, o.lines, o.playtime});
    }
    void setInGame(int clientId, bool inGame) override { record(__func__, {clientId, inGame}); }

    // The server's gate, for tests that say hello through it.
    PlayerGate* gate = nullptr;
};

class FakeClientConnection : public FakeRole<ClientConnection> {
public:
    int connectWithHello(const QHostAddress& address, int port, int players, int hostKey,
                         const QString& password, int requestedId) override {
        record(__func__, {address.toString(), port, players, hostKey, password, requestedId});
        return nextId_++;
    }
    void setLocalPort(int port) override { record(__func__, {port}); }
    void setRejoinToken(const QString& token) override { record(__func__, {token}); }
    void requestResend() override { record(__func__, {}); }
    void sendCPlayers(bool reliable, const PayloadCodec::Players& p) override {
        record(__func__, {reliable, p.names, list(p.colors), list(p.status)});
    }
    void sendCMessage(bool reliable, const PayloadCodec::ChatLine& line) override {
        record(__func__, {reliable, line.player, line.text});
    }
    void sendCKick(bool reliable, int clientId) override { record(__func__, {reliable, clientId}); }
    void sendCStart(bool reliable) override { record(__func__, {reliable}); }
    void sendCRestart(bool reliable) override { record(__func__, {reliable}); }
    void sendCInput(bool reliable, const KeyInput& keys) override {
        record(__func__, {reliable, list(keys.toList())});
    }
    void sendCPause(bool reliable) override { record(__func__, {reliable}); }
    void sendCReplayRequest() override { record(__func__, {}); }
};

class FakeMasterConnection : public FakeRole<MasterConnection> {
public:
    int connectToHost(const QHostAddress& address, int port) override {
        record(__func__, {address.toString(), port});
        return nextId_++;
    }
    void queryServer(const QHostAddress& address, int port) override {
        record(__func__, {address.toString(), port});
    }
    void sendServerOnline(bool reliable, int port) override { record(__func__, {reliable, port}); }
    void sendServerOffline(bool reliable, int port) override { record(__func__, {reliable, port}); }
    void sendMasterTest(bool reliable) override { record(__func__, {reliable}); }
    void requestServerlist(bool reliable) override { record(__func__, {reliable}); }
    void sendRegistration(const PayloadCodec::Registration& r) override {
        record(__func__, {r.port, r.online, r.token, r.relayStream, r.relayDatagram});
    }
    void findInvite(const QString& code) override { record(__func__, {code}); }
    void queryInvitedServer(const QHostAddress& address, int port, const QString& code,
                            int localPort) override {
        record(__func__, {address.toString(), port, code, localPort});
    }
};
