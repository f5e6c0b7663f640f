#include "fakeconnection.h"

namespace {

QVariantList intList(const QList<int>& values) {
    QVariantList out;
    for (int v : values) {
        out.append(v);
    }
    return out;
}

// Blocks are recorded by value (id, colour, kind, x, y, rotation): the sender
// keeps ownership and may change them after the call.
QVariantList blockRecord(const GameBlock& b) {
    return {b.id(), b.colour(), b.kind(), b.x(), b.y(), b.rotation()};
}

QVariantList blockRecords(const QList<GameBlock*>& blocks) {
    QVariantList out;
    for (const GameBlock* b : blocks) {
        out.append(QVariant(blockRecord(*b)));
    }
    return out;
}

}  // namespace

QList<QVariantList> CallLog::callsOf(const QString& op) const {
    QList<QVariantList> out;
    for (const Call& c : calls) {
        if (c.op == op) {
            out.append(c.args);
        }
    }
    return out;
}

QVariantList CallLog::last(const QString& op) const {
    const QList<QVariantList> all = callsOf(op);
    return all.isEmpty() ? QVariantList() : all.last();
}

void CallLog::record(const QString& op, const QVariantList& args) {
    calls.append({op, args});
    if (onCall) {
        onCall(calls.last());
    }
}

int FakeServerConnection::acceptSocket(qintptr socketDescriptor) {
    record(QStringLiteral("acceptSocket"), {QVariant::fromValue(socketDescriptor)});
    return nextId_++;
}

void FakeServerConnection::setSeats(const QList<int>& clientIds) {
    record(QStringLiteral("setSeats"), {QVariant(intList(clientIds))});
}

int FakeMasterConnection::connectToHost(const QHostAddress& address, int port) {
    record(QStringLiteral("connectToHost"), {address.toString(), port});
    return nextId_++;
}

int FakeClientConnection::connectWithHello(const QHostAddress& address, int port, int players,
                                           int hostKey, const QString& password, int requestedId) {
    record(QStringLiteral("connectWithHello"),
           {address.toString(), port, players, hostKey, password, requestedId});
    return nextId_++;
}

void FakeClientConnection::requestResend() {
    record(QStringLiteral("requestResend"), {});
}

void FakeMasterConnection::queryServer(const QHostAddress& address, int port) {
    record(QStringLiteral("queryServer"), {address.toString(), port});
}

void FakeClientConnection::sendCPlayers(bool reliable, const QStringList& names,
                                        const QList<int>& colors, const QList<int>& status) {
    record(QStringLiteral("sendCPlayers"), {reliable, names, intList(colors), intList(status)});
}

void FakeServerConnection::sendSPlayerlist(bool reliable, const QList<int>& connIds,
                                           const QStringList& names, const QList<int>& colors,
                                           const QList<int>& status) {
    record(QStringLiteral("sendSPlayerlist"),
           {reliable, intList(connIds), names, intList(colors), intList(status)});
}

void FakeClientConnection::sendCMessage(bool reliable, int playerNr, const QString& message) {
    record(QStringLiteral("sendCMessage"), {reliable, playerNr, message});
}

void FakeServerConnection::sendSMessage(bool reliable, int playerId, const QString& message) {
    record(QStringLiteral("sendSMessage"), {reliable, playerId, message});
}

void FakeClientConnection::sendCKick(bool reliable, int clientId) {
    record(QStringLiteral("sendCKick"), {reliable, clientId});
}

void FakeServerConnection::sendSKick(bool reliable, int clientId) {
    record(QStringLiteral("sendSKick"), {reliable, clientId});
}

void FakeClientConnection::sendCStart(bool reliable) {
    record(QStringLiteral("sendCStart"), {reliable});
}

void FakeServerConnection::sendSStart(bool reliable, int clientId, int fieldsizeX, int countDown) {
    record(QStringLiteral("sendSStart"), {reliable, clientId, fieldsizeX, countDown});
}

void FakeClientConnection::sendCRestart(bool reliable) {
    record(QStringLiteral("sendCRestart"), {reliable});
}

void FakeServerConnection::sendSRestart(bool reliable, int clientId) {
    record(QStringLiteral("sendSRestart"), {reliable, clientId});
}

void FakeServerConnection::sendSGameState(bool reliable, int clientId, int fieldsizeX, bool paused,
                                          int score, const QString& playtime,
                                          const QByteArray& field,
                                          const QList<GameBlock*>& blocks) {
    record(QStringLiteral("sendSGameState"),
           {reliable, clientId, fieldsizeX, paused, score, playtime, field, blockRecords(blocks)});
}

void FakeClientConnection::sendCInput(bool reliable, const QList<int>& keys) {
    record(QStringLiteral("sendCInput"), {reliable, intList(keys)});
}

void FakeServerConnection::sendSNewBlock(bool reliable, const GameBlock& block) {
    record(QStringLiteral("sendSNewBlock"), {reliable, QVariant(blockRecord(block))});
}

void FakeServerConnection::sendSMoveBlocks(bool reliable, const QList<GameBlock*>& blocks,
                                           const QList<int>& activeIds,
                                           const QList<std::optional<KeyInput>>& keysDone) {
    QVariantList done;  // by client id: its ten counters, or an empty list
    for (const std::optional<KeyInput>& d : keysDone) {
        done << QVariant(intList(d ? d->toList() : QList<int>{}));
    }
    record(QStringLiteral("sendSMoveBlocks"),
           {reliable, blockRecords(blocks), intList(activeIds), done});
}

void FakeServerConnection::sendSMergeBlocks(bool reliable, const QList<GameBlock*>& blocks) {
    record(QStringLiteral("sendSMergeBlocks"), {reliable, blockRecords(blocks)});
}

void FakeClientConnection::sendCPause(bool reliable) {
    record(QStringLiteral("sendCPause"), {reliable});
}

void FakeServerConnection::sendSPause(bool reliable, int clientId, int countDown) {
    record(QStringLiteral("sendSPause"), {reliable, clientId, countDown});
}

void FakeServerConnection::sendSGameOver(bool reliable, int score, int lines,
                                         const QString& playtime) {
    record(QStringLiteral("sendSGameOver"), {reliable, score, lines, playtime});
}

void FakeMasterConnection::sendServerOnline(bool reliable, int port) {
    record(QStringLiteral("sendServerOnline"), {reliable, port});
}

void FakeMasterConnection::sendServerOffline(bool reliable, int port) {
    record(QStringLiteral("sendServerOffline"), {reliable, port});
}

void FakeMasterConnection::sendMasterTest(bool reliable) {
    record(QStringLiteral("sendMasterTest"), {reliable});
}

void FakeMasterConnection::requestServerlist(bool reliable) {
    record(QStringLiteral("requestServerlist"), {reliable});
}

void FakeServerConnection::disconnectClient(int clientId, bool immediately) {
    record(QStringLiteral("disconnectClient"), {clientId, immediately});
}

void FakeClientConnection::disconnectClient(int clientId, bool immediately) {
    record(QStringLiteral("disconnectClient"), {clientId, immediately});
}

void FakeMasterConnection::disconnectClient(int clientId, bool immediately) {
    record(QStringLiteral("disconnectClient"), {clientId, immediately});
}
