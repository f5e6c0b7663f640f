#include "connectionabstract.h"

#include <algorithm>
#include <limits>
#include <memory>

#include "game/appinfo.h"
#include "network/networklog.h"
#include "network/payloadcodec.h"

namespace {

using State = ConnectionState;
namespace Codec = PayloadCodec;

QString version() {
    return QString::fromLatin1(Quadrell::kVersion);
}

// A peer that connected to us is a client; one we connected to is a game
// server or the master server. The first letter of a code names its sender;
// "BRES" goes both ways and "SLNE" is dropped unread wherever it arrives.
// A client that sends a server's code (a goodbye to itself, a shutdown, a
// hello answer) must not make us act as if our server had said it.
bool fromPeerSide(const ConnectionInfo& record, int code) {
    if (code == static_cast<int>(MessageCode::BRES) ||
        code == static_cast<int>(MessageCode::SLNE)) {
        return true;
    }
    const bool clientCode =
        ConnectionMessage::codes()[static_cast<std::size_t>(code)].front() == QLatin1Char('C');
    return clientCode == record.accepted;
}

}  // namespace

ConnectionAbstract::ConnectionAbstract(const QString& name, int maxPlayers, bool singleplayer,
                                       bool stats, int pingInterval, bool datagram, int hostKey,
                                       bool usePassword, const QString& password, int timeout,
                                       QObject* parent)
    : ConnectionInterface(name, maxPlayers, singleplayer, stats, pingInterval, datagram, hostKey,
                          usePassword, password, timeout, parent),
      clock_(&Clock::system()),
      timeOfDay_([] { return QTime::currentTime(); }) {
    disconnectTimer_.setSingleShot(true);
    connect(&disconnectTimer_, &QTimer::timeout, this, &ConnectionAbstract::forceDisconnect);
    connect(&pingTimer_, &QTimer::timeout, this, &ConnectionAbstract::updatePings);
    connect(&keepAliveTimer_, &QTimer::timeout, this, &ConnectionAbstract::sendKeepAlive);
    if (pingInterval > 0) {
        pingTimer_.start(pingInterval);
    }
}

ConnectionAbstract::~ConnectionAbstract() = default;

void ConnectionAbstract::setKeepAlive(int intervalMs, int quietMs) {
    quietMs_ = quietMs;
    if (intervalMs > 0) {
        keepAliveTimer_.start(intervalMs);
    } else {
        keepAliveTimer_.stop();
    }
}

// ---------------------------------------------------------------- records

QList<int> ConnectionAbstract::idsOf(const Records& records) {
    QList<int> ids;
    ids.reserve(static_cast<qsizetype>(records.size()));
    for (const auto& [id, record] : records) {
        ids.append(id);
    }
    return ids;
}

ConnectionAbstract::Records& ConnectionAbstract::table(Table which) {
    switch (which) {
        case Table::Established:
            return established_;
        case Table::Pending:
            return pending_;
        case Table::Queries:
            break;
    }
    return queries_;
}

ConnectionInfo* ConnectionAbstract::findInTable(Table which, int connId) const {
    const Records& records = const_cast<ConnectionAbstract*>(this)->table(which);
    const auto it = records.find(connId);
    return it == records.end() ? nullptr : it->second;
}

ConnectionInfo* ConnectionAbstract::find(int connId) const {
    for (Table which : {Table::Established, Table::Pending, Table::Queries}) {
        if (ConnectionInfo* record = findInTable(which, connId)) {
            return record;
        }
    }
    return nullptr;
}

ConnectionInfo* ConnectionAbstract::findEstablishedByClientId(int clientId) const {
    for (const auto& [id, record] : established_) {
        if (record->clientId == clientId) {
            return record;
        }
    }
    return nullptr;
}

ConnectionInfo& ConnectionAbstract::addRecord(Table which, int connId, ConnectionState state) {
    auto* record = new ConnectionInfo(connId, this);
    record->state = state;
    connect(record, &ConnectionInfo::gotTimeout, this, &ConnectionAbstract::processTimeout);
    connect(record, &ConnectionInfo::gotResend, this, &ConnectionAbstract::resendMessage);
    table(which)[connId] = record;
    return *record;
}

void ConnectionAbstract::moveRecord(int connId, Table to) {
    for (Table from : {Table::Established, Table::Pending, Table::Queries}) {
        Records& records = table(from);
        const auto it = records.find(connId);
        if (it != records.end()) {
            ConnectionInfo* record = it->second;
            records.erase(it);
            table(to)[connId] = record;
            return;
        }
    }
}

void ConnectionAbstract::startTimeout(ConnectionInfo& record, int ms) {
    if (ms > 0) {
        record.timeoutTimer.start(ms);
    } else {
        record.timeoutTimer.stop();
    }
}

void ConnectionAbstract::storeHello(int requestedId, int players, int hostKey,
                                    const QString& password) {
    requestedId_ = requestedId;
    localPlayers_ = players;
    helloHostKey_ = hostKey;
    helloPassword_ = password;
}

int ConnectionAbstract::hostClientId() const {
    const auto it = established_.find(hostConnId_);
    return it == established_.end() ? -1 : it->second->clientId;
}

QHostAddress ConnectionAbstract::clientAddress(int clientId) const {
    const ConnectionInfo* record = findEstablishedByClientId(clientId);
    return record != nullptr ? record->address : QHostAddress();
}

bool ConnectionAbstract::hostPresent() const {
    return hostConnId_ >= 0 && established_.count(hostConnId_) != 0;
}

int ConnectionAbstract::establishedClientId() const {
    return established_.empty() ? -1 : established_.begin()->second->clientId;
}

int ConnectionAbstract::lowestFreeClientId() const {
    for (int id = 0; id < maxPlayers(); ++id) {
        if (findEstablishedByClientId(id) == nullptr) {
            return id;
        }
    }
    return -1;
}

void ConnectionAbstract::closeConnection(int connId) {
    removeConnection(connId);
}

void ConnectionAbstract::removeConnection(int connId) {
    for (Table which : {Table::Established, Table::Pending, Table::Queries}) {
        Records& records = table(which);
        const auto it = records.find(connId);
        if (it == records.end()) {
            continue;
        }
        ConnectionInfo* record = it->second;
        records.erase(it);
        if (which == Table::Established) {
            playerCount_ -= record->players;
        }
        if (connId == hostConnId_ && !hostOwnsServer()) {
            hostConnId_ = -1;  // the server plays on without a host
        }
        queryAddresses_.remove(connId);
        record->timeoutTimer.stop();
        record->resendTimer.stop();
        record->disconnect(this);
        releaseSocket(*record);
        record->socket = nullptr;
        // A handler up the stack may still hold it.
        record->deleteLater();
        return;
    }
}

void ConnectionAbstract::clearConnections() {
    for (Table which : {Table::Established, Table::Pending, Table::Queries}) {
        for (int id : idsOf(table(which))) {
            removeConnection(id);
        }
    }
    nextConnId_ = 0;
    playerCount_ = 0;
    hostConnId_ = -1;
    localPlayers_ = -1;
    disconnectTimer_.stop();
    // Ids start again at 0, so nothing may still refer to the old ones.
    serverList_.clear();
    queryAddresses_.clear();
}

// ---------------------------------------------------------------- sending

void ConnectionAbstract::sendMessage(int connId, bool reliable, MessageCode code,
                                     const QString& content) {
    if (connId >= 0) {
        transmit(connId, reliable, code, content);
        return;
    }
    for (int id : establishedIds()) {
        if (ConnectionInfo* record = findInTable(Table::Established, id)) {
            record->pingClockStart = nowMs();
            transmit(id, reliable, code, content);
        }
    }
}

void ConnectionAbstract::transmit(int connId, bool reliable, MessageCode code,
                                  const QString& content) {
    ConnectionInfo* record = find(connId);
    if (record == nullptr || record->state == State::StateNone) {
        return;
    }
    ConnectionMessage message(code, content);
    if (reliable && usesDatagrams()) {
        message.number = ++record->sequence;
        while (record->history.size() >= timings_.historySize && !record->history.isEmpty()) {
            record->history.removeFirst();
        }
        record->history.append(message);
    }
    put(*record, message);
}

void ConnectionAbstract::retransmit(int connId, const ConnectionMessage& message) {
    if (ConnectionInfo* record = find(connId)) {
        put(*record, message);
    }
}

void ConnectionAbstract::put(ConnectionInfo& record, const ConnectionMessage& message) {
    const qint64 bytes = deliver(record, message);
    if (bytes > 0) {
        bytesSent_[record.clientId] += bytes;
    }
}

void ConnectionAbstract::sendToStates(std::initializer_list<ConnectionState> states, bool reliable,
                                      MessageCode code, const QString& content) {
    for (int id : establishedIds()) {
        const ConnectionInfo* record = findInTable(Table::Established, id);
        if (record != nullptr &&
            std::find(states.begin(), states.end(), record->state) != states.end()) {
            transmit(id, reliable, code, content);
        }
    }
}

void ConnectionAbstract::setStateWhere(ConnectionState from, ConnectionState to) {
    for (const auto& [id, record] : established_) {
        if (record->state == from) {
            record->state = to;
        }
    }
}

void ConnectionAbstract::startRepeating(ConnectionInfo& record, const ConnectionMessage& message,
                                        bool repeat) {
    record.lastMessage = message;
    record.awaitingAnswer = true;
    // Every message gets its own 7 sends; a count carried over from earlier
    // messages would make a long-lived master connection give up at once.
    record.resendCount = 0;
    put(record, message);
    if (repeat) {
        record.resendTimer.start(timings_.resendIntervalMs);
    }
}

bool ConnectionAbstract::takeAnswer(ConnectionInfo& record,
                                    std::initializer_list<MessageCode> askedWith) {
    if (!record.awaitingAnswer) {
        return false;
    }
    const int asked = record.lastMessage.code();
    for (MessageCode code : askedWith) {
        if (asked == static_cast<int>(code)) {
            record.awaitingAnswer = false;
            record.resendTimer.stop();
            return true;
        }
    }
    return false;
}

void ConnectionAbstract::sendToMaster(bool reliable, MessageCode code, const QString& content) {
    for (int id : pendingIds()) {
        ConnectionInfo* record = findInTable(Table::Pending, id);
        // A probe of a game server waits for its own answer.
        if (record != nullptr && record->state == State::StateLobby &&
            !queryAddresses_.contains(id)) {
            startRepeating(*record, ConnectionMessage(code, content), reliable);
        }
    }
}

void ConnectionAbstract::sendHello(bool repeat, int connId, int requestedId, int players,
                                   int hostKey, const QString& password) {
    if (ConnectionInfo* record = find(connId)) {
        startRepeating(*record,
                       ConnectionMessage(MessageCode::CHI, Codec::buildHello(requestedId, players,
                                                                             hostKey, password)),
                       repeat);
    }
}

void ConnectionAbstract::sendHelloReply(bool, int connId, int clientId, bool isHost) {
    ConnectionInfo* record = find(connId);
    if (record == nullptr) {
        return;
    }
    if (clientId >= 0) {
        record->state = State::StateLobby;
        moveRecord(connId, Table::Established);
    }
    transmit(connId, false, MessageCode::SHI, Codec::buildHelloReply(clientId, isHost));
}

void ConnectionAbstract::sendPinglist(bool, const QList<int>& connIds, const QList<int>& pings) {
    sendMessage(-1, false, MessageCode::SPNG, Codec::buildPingList(connIds, pings));
}

void ConnectionAbstract::sendPong(bool) {
    sendMessage(-1, false, MessageCode::CPNG, QLatin1String(Codec::kPong));
}

void ConnectionAbstract::sendResendRequest(bool, int connId, int number) {
    transmit(connId, false, MessageCode::BRES, Codec::buildNumber(number));
}

void ConnectionAbstract::sendDisconnect(bool) {
    sendMessage(-1, false, MessageCode::CDSC, QLatin1String(Codec::kDisconnect));
}

void ConnectionAbstract::sendPlayerDisconnect(bool, int clientId) {
    sendMessage(-1, false, MessageCode::SDSC, Codec::buildNumber(clientId));
}

void ConnectionAbstract::sendShutdown(bool, int clientId) {
    sendMessage(-1, false, MessageCode::SSHD, Codec::buildNumber(clientId));
}

void ConnectionAbstract::sendInfoRequest(bool repeat, int connId) {
    if (ConnectionInfo* record = find(connId)) {
        startRepeating(*record,
                       ConnectionMessage(MessageCode::CIN, QLatin1String(Codec::kInfoRequest)),
                       repeat);
    }
}

void ConnectionAbstract::sendServerInfo(bool, int connId) {
    transmit(connId, false, MessageCode::SIN,
             Codec::buildServerInfo(version(), stats(), playerCount_, maxPlayers(), usePassword(),
                                    name()));
}

void ConnectionAbstract::requestResend() {
    for (int id : establishedIds()) {
        if (const ConnectionInfo* record = findInTable(Table::Established, id)) {
            sendResendRequest(false, id, record->receivedSequence);
        }
    }
}

void ConnectionAbstract::sendCPlayers(bool reliable, const QStringList& names,
                                      const QList<int>& colors, const QList<int>& status) {
    sendMessage(-1, reliable, MessageCode::CPLR, Codec::buildPlayers(names, colors, status));
}

void ConnectionAbstract::sendSPlayerlist(bool reliable, const QList<int>& connIds,
                                         const QStringList& names, const QList<int>& colors,
                                         const QList<int>& status) {
    sendMessage(-1, reliable, MessageCode::SPLR,
                Codec::buildPlayerList(connIds, names, colors, status));
}

void ConnectionAbstract::sendCMessage(bool reliable, int playerNr, const QString& message) {
    sendMessage(-1, reliable, MessageCode::CMSG, Codec::buildChat(playerNr, message));
}

void ConnectionAbstract::sendSMessage(bool reliable, int playerId, const QString& message) {
    sendMessage(-1, reliable, MessageCode::SMSG, Codec::buildChat(playerId, message));
}

void ConnectionAbstract::sendCKick(bool reliable, int clientId) {
    sendMessage(-1, reliable, MessageCode::CKCK, Codec::buildNumber(clientId));
}

void ConnectionAbstract::sendSKick(bool reliable, int clientId) {
    sendMessage(-1, reliable, MessageCode::SKCK, Codec::buildNumber(clientId));
    if (const ConnectionInfo* kicked = findEstablishedByClientId(clientId)) {
        removeConnection(kicked->connId);
    }
}

void ConnectionAbstract::sendCStart(bool reliable) {
    sendToStates({State::StateLobby}, reliable, MessageCode::CSRT, QLatin1String(Codec::kStart));
}

void ConnectionAbstract::sendSStart(bool reliable, int clientId, int fieldsizeX, int countDown) {
    sendToStates({State::StateLobby, State::StateInGame}, reliable, MessageCode::SSRT,
                 Codec::buildGameStart(clientId, fieldsizeX, countDown));
    setStateWhere(State::StateLobby, State::StateInGame);
}

void ConnectionAbstract::sendCRestart(bool reliable) {
    sendToStates({State::StateInGame}, reliable, MessageCode::CRST, QLatin1String(Codec::kRestart));
}

void ConnectionAbstract::sendSRestart(bool reliable, int clientId) {
    sendToStates({State::StateInGame}, reliable, MessageCode::SRST, Codec::buildNumber(clientId));
    setStateWhere(State::StateInGame, State::StateLobby);
}

void ConnectionAbstract::sendSGameState(bool reliable, int clientId, int fieldsizeX, bool paused,
                                        int score, const QString& playtime, const QByteArray& field,
                                        const QList<GameBlock*>& blocks) {
    ConnectionInfo* record = findEstablishedByClientId(clientId);
    if (record == nullptr) {
        return;
    }
    QList<Codec::BlockRecord> records;
    for (const GameBlock* block : blocks) {
        if (block != nullptr) {
            records.append(Codec::BlockRecord::of(*block));
        }
    }
    const int connId = record->connId;
    transmit(connId, reliable, MessageCode::SCST,
             Codec::buildGameState(fieldsizeX, paused, score, playtime, field, records));
    if (ConnectionInfo* again = findInTable(Table::Established, connId)) {
        again->state = State::StateInGame;
    }
}

void ConnectionAbstract::sendCInput(bool reliable, const QList<int>& keys) {
    sendToStates({State::StateInGame}, reliable, MessageCode::CINP, Codec::buildInput(keys));
}

void ConnectionAbstract::sendSNewBlock(bool reliable, const GameBlock& block) {
    sendToStates({State::StateInGame}, reliable, MessageCode::SBLC,
                 Codec::buildNewBlock(Codec::BlockRecord::of(block)));
}

void ConnectionAbstract::sendSMoveBlocks(bool reliable, const QList<GameBlock*>& blocks,
                                         const QList<int>& activeIds) {
    QList<Codec::MoveRecord> moves;
    for (const GameBlock* block : blocks) {
        if (block != nullptr) {
            moves.append(Codec::MoveRecord::of(*block));
        }
    }
    for (int id : establishedIds()) {
        const ConnectionInfo* record = findInTable(Table::Established, id);
        if (record == nullptr || record->state != State::StateInGame) {
            continue;
        }
        // Each client learns which two blocks are its own.
        const qsizetype c = record->clientId;
        const int activeA = c >= 0 ? activeIds.value(2 * c, -1) : -1;
        const int activeB = c >= 0 ? activeIds.value(2 * c + 1, -1) : -1;
        transmit(id, reliable, MessageCode::SMVE, Codec::buildMoves(moves, activeA, activeB));
    }
}

void ConnectionAbstract::sendSMergeBlocks(bool reliable, const QList<GameBlock*>& blocks) {
    QList<Codec::MoveRecord> merges;
    for (const GameBlock* block : blocks) {
        if (block != nullptr) {
            merges.append(Codec::MoveRecord::of(*block));
        }
    }
    sendToStates({State::StateInGame}, reliable, MessageCode::SMRG, Codec::buildMerges(merges));
}

void ConnectionAbstract::sendCPause(bool reliable) {
    sendToStates({State::StateInGame}, reliable, MessageCode::CPSE, QLatin1String(Codec::kPause));
}

void ConnectionAbstract::sendSPause(bool reliable, int clientId, int countDown) {
    sendToStates({State::StateInGame}, reliable, MessageCode::SPSE,
                 Codec::buildPause(clientId, countDown));
}

void ConnectionAbstract::sendSGameOver(bool reliable, int score, int lines,
                                       const QString& playtime) {
    sendToStates({State::StateInGame}, reliable, MessageCode::SSTP,
                 Codec::buildGameOver(score, lines, playtime));
    setStateWhere(State::StateInGame, State::StateLobby);
}

void ConnectionAbstract::sendServerOnline(bool reliable, int port) {
    sendToMaster(
        reliable, MessageCode::SON,
        Codec::buildAnnouncement(version(), port, stats(), timeOfDay_().toString(Qt::TextDate)));
}

void ConnectionAbstract::sendServerOffline(bool reliable, int port) {
    sendToMaster(
        reliable, MessageCode::SOF,
        Codec::buildAnnouncement(version(), port, stats(), timeOfDay_().toString(Qt::TextDate)));
}

void ConnectionAbstract::sendMasterTest(bool reliable) {
    sendToMaster(reliable, MessageCode::CTS, QLatin1String(Codec::kMasterTest));
}

void ConnectionAbstract::requestServerlist(bool reliable) {
    sendToMaster(reliable, MessageCode::CLS, QLatin1String(Codec::kServerListRequest));
}

// ------------------------------------------------ disconnects, probes, timers

void ConnectionAbstract::disconnectClient(int clientId, bool immediately) {
    if (clientId >= 0) {
        ConnectionInfo* record = findEstablishedByClientId(clientId);
        if (record == nullptr || record->state == State::StateClosing) {
            return;
        }
        const int connId = record->connId;
        if (record->state != State::StateNone) {
            record->state = State::StateClosing;
        }
        sendPlayerDisconnect(false, clientId);
        removeConnection(connId);
        return;
    }
    if (immediately) {
        clearConnections();
        return;
    }
    for (Records* records : {&established_, &pending_, &queries_}) {
        for (const auto& [id, record] : *records) {
            if (record->state != State::StateNone) {
                record->state = State::StateClosing;
            }
        }
    }
    disconnectTimer_.start(timings_.disconnectTimeoutMs);
    sendDisconnect(false);
}

void ConnectionAbstract::announceShutdown() {
    sendShutdown(false, -1);
    clearConnections();
}

void ConnectionAbstract::forceDisconnect() {
    Q_EMIT connectionClosed(-1);
    clearConnections();
}

void ConnectionAbstract::queryServer(const QHostAddress& address, int port) {
    // Joining by address replaces whatever was being probed, an earlier
    // join probe included: its give-up would read as this one's failure.
    serverList_.clear();
    for (int id : queryAddresses_.keys()) {
        removeConnection(id);
    }
    queryAddresses_.clear();
    const int connId = connectToHost(address, port);
    ConnectionInfo* record = find(connId);
    if (record == nullptr) {
        return;
    }
    queryAddresses_[connId] = address.toString() + u':' + QString::number(port);
    record->pingClockStart = nowMs();
    sendInfoRequest(true, connId);
}

bool ConnectionAbstract::finishQuery(int connId) {
    if (!isQuery(connId)) {
        return false;
    }
    removeConnection(connId);
    queryNextServers();
    return true;
}

void ConnectionAbstract::queryNextServers() {
    while (!serverList_.isEmpty()) {
        const QString entry = serverList_.takeFirst();
        const QStringList parts = entry.split(u':');
        if (parts.size() != 2) {
            continue;
        }
        const QHostAddress address(parts[0]);
        const int port = Codec::toInt(parts[1]);
        if (address.isNull() || port <= 0 || port > 65535) {
            continue;  // nothing to reach there
        }
        const int connId = connectToHost(address, port);
        ConnectionInfo* record = findInTable(Table::Pending, connId);
        if (record == nullptr) {
            continue;
        }
        queryAddresses_[connId] = entry;
        moveRecord(connId, Table::Queries);
        record->pingClockStart = nowMs();
        sendInfoRequest(true, connId);
        if (queries_.size() >= kMaxProbes) {
            return;
        }
    }
    Q_EMIT masterserverResult(-1, MasterserverResult::MasterListDone);
}

void ConnectionAbstract::updatePings() {
    QList<int> connIds;
    QList<int> pings;
    for (const auto& [id, record] : established_) {
        connIds.append(record->clientId);
        pings.append(record->ping);
        // Stays 999 unless an answer comes before the next list.
        record->ping = record->isPlaying() ? 999 : -1;
    }
    sendPinglist(false, connIds, pings);
}

void ConnectionAbstract::sendKeepAlive() {
    const qint64 now = nowMs();
    for (int id : establishedIds()) {
        ConnectionInfo* record = findInTable(Table::Established, id);
        if (record == nullptr || !record->isPlaying()) {
            continue;
        }
        transmit(id, false, MessageCode::SLNE, QString());
        if (quietMs_ > 0 && record->receivedReliableMs >= 0 &&
            now - record->receivedReliableMs >= quietMs_) {
            record->receivedReliableMs = now;  // the next request after another quiet spell
            sendResendRequest(false, id, record->receivedSequence);
        }
    }
}

void ConnectionAbstract::processTimeout(int connId) {
    ConnectionInfo* record = find(connId);
    if (record == nullptr) {
        return;
    }
    if (finishQuery(connId)) {
        return;
    }
    const int clientId = record->clientId;
    switch (record->state) {
        case State::StateLobby:
        case State::StateInGame:
            Q_EMIT errorOccured(clientId, Timeout);
            break;
        case State::StateClosing:
            Q_EMIT connectionClosed(clientId);
            break;
        case State::StateNone:
        case State::StateHandshake:
            break;  // never got going: nobody needs to hear about it
    }
    removeConnection(connId);
}

void ConnectionAbstract::resendMessage(int connId) {
    ConnectionInfo* record = find(connId);
    if (record == nullptr) {
        return;
    }
    if (record->resendCount < timings_.maxResends) {
        ++record->resendCount;
        retransmit(connId, record->lastMessage);
        return;
    }
    record->resendTimer.stop();
    if (finishQuery(connId)) {
        return;
    }
    Q_EMIT errorOccured(record->clientId, ConnectionLost);
    removeConnection(connId);
}

void ConnectionAbstract::processConnected(int connId) {
    ConnectionInfo* record = find(connId);
    if (record != nullptr && record->state == State::StateHandshake && localPlayers_ != -1) {
        sendHello(true, connId, requestedId_, localPlayers_, helloHostKey_, helloPassword_);
    }
}

// ---------------------------------------------------------------- receiving

bool ConnectionAbstract::acceptNumber(int connId, int number) {
    ConnectionInfo* record = find(connId);
    if (record == nullptr) {
        return false;
    }
    const qint64 ahead = qint64(number) - record->receivedSequence;
    if (ahead == 1) {
        record->receivedSequence = number;
        record->receivedReliableMs = nowMs();
        return true;
    }
    if (ahead <= 0) {
        return false;  // seen already
    }
    if (ahead <= timings_.maxResendGap) {
        sendResendRequest(false, connId, record->receivedSequence);
        return false;
    }
    Q_EMIT errorOccured(record->clientId, PacketLoss);
    return false;
}

void ConnectionAbstract::processContent(int id, const ConnectionMessage& message) {
    const int code = message.code();
    ConnectionInfo* record = find(id);
    if (code < 0 || record == nullptr || !fromPeerSide(*record, code)) {
        return;
    }
    const bool established = isEstablished(id);
    if (established && usesDatagrams()) {
        startTimeout(*record, timeout());
    }
    // Only an established peer has a sequence to keep; counting a number
    // before the handshake would lose the message for good.
    if (message.number >= 0 && (!established || !acceptNumber(id, message.number))) {
        return;
    }
    (this->*handlers()[static_cast<std::size_t>(code)])(*record, message);
}

const std::array<ConnectionAbstract::Handler, ConnectionMessage::kCodeCount>&
ConnectionAbstract::handlers() {
    // In code table order; the order must match MessageCode.
    static const std::array<Handler, ConnectionMessage::kCodeCount> table{
        &ConnectionAbstract::processHello,              // CHI
        &ConnectionAbstract::processHelloReply,         // SHI
        &ConnectionAbstract::processPlayers,            // CPLR
        &ConnectionAbstract::processPlayerList,         // SPLR
        &ConnectionAbstract::processClientChat,         // CMSG
        &ConnectionAbstract::processServerChat,         // SMSG
        &ConnectionAbstract::processPingList,           // SPNG
        &ConnectionAbstract::processPong,               // CPNG
        &ConnectionAbstract::processStartRequest,       // CSRT
        &ConnectionAbstract::processGameStart,          // SSRT
        &ConnectionAbstract::processRestartRequest,     // CRST
        &ConnectionAbstract::processGameRestart,        // SRST
        &ConnectionAbstract::processGameState,          // SCST
        &ConnectionAbstract::processInput,              // CINP
        &ConnectionAbstract::processNewBlock,           // SBLC
        &ConnectionAbstract::processMoveBlocks,         // SMVE
        &ConnectionAbstract::processMergeBlocks,        // SMRG
        &ConnectionAbstract::processIgnored,            // SLNE
        &ConnectionAbstract::processPauseRequest,       // CPSE
        &ConnectionAbstract::processPause,              // SPSE
        &ConnectionAbstract::processGameOver,           // SSTP
        &ConnectionAbstract::processDisconnectRequest,  // CDSC
        &ConnectionAbstract::processPlayerDisconnect,   // SDSC
        &ConnectionAbstract::processKickRequest,        // CKCK
        &ConnectionAbstract::processKick,               // SKCK
        &ConnectionAbstract::processShutdown,           // SSHD
        &ConnectionAbstract::processResendRequest,      // BRES
        &ConnectionAbstract::processIgnored,            // SON: for the master server
        &ConnectionAbstract::processIgnored,            // SOF: for the master server
        &ConnectionAbstract::processMasterAnswer,       // MON
        &ConnectionAbstract::processMasterAnswer,       // MOF
        &ConnectionAbstract::processIgnored,            // CLS: for the master server
        &ConnectionAbstract::processIgnored,            // CTS: for the master server
        &ConnectionAbstract::processMasterList,         // MLS
        &ConnectionAbstract::processMasterTest,         // MTS
        &ConnectionAbstract::processInfoRequest,        // CIN
        &ConnectionAbstract::processServerInfo,         // SIN
    };
    return table;
}

void ConnectionAbstract::processIgnored(ConnectionInfo&, const ConnectionMessage&) {}

void ConnectionAbstract::refuseHello(int connId, int code) {
    sendHelloReply(false, connId, code, false);
    removeConnection(connId);
}

void ConnectionAbstract::processHello(ConnectionInfo& record, const ConnectionMessage& message) {
    const int connId = record.connId;
    if (record.state == State::StateLobby && isEstablished(connId)) {
        // The client missed our answer and asked again.
        sendHelloReply(false, connId, record.clientId, connId == hostConnId_);
        return;
    }
    if (record.state != State::StateHandshake || isEstablished(connId)) {
        return;
    }
    const Codec::Hello hello = Codec::parseHello(message.content);
    if (clientIdCheck_ &&
        (hello.requestedId < 0 || !clientIdCheck_(hello.requestedId, record.address))) {
        refuseHello(connId, -2);
        return;
    }
    // A server without a key of its own (negative) recognises nobody by key.
    const bool keyMatches = hostKey() >= 0 && hello.hostKey == hostKey();
    bool becomesHost = keyMatches;
    if (hostIdSource_ && hello.requestedId >= 0 && hello.requestedId == hostIdSource_()) {
        becomesHost = true;
    }
    if (firstClientIsHost_ && !hostPresent()) {
        becomesHost = true;
    }
    if (playerCount_ == 0 && !becomesHost && !hostIdSource_) {
        refuseHello(connId, -2);  // the host's own client joins first
        return;
    }
    if (singleplayer() && !keyMatches) {
        refuseHello(connId, -2);
        return;
    }
    if (usePassword() && hello.password != password()) {
        refuseHello(connId, -3);
        return;
    }
    if (hello.players < 1 || hello.players > Codec::kLocalPlayers) {
        refuseHello(connId, -2);  // a count that would corrupt playerCount
        return;
    }
    if (maxPlayers() < playerCount_ + hello.players) {
        refuseHello(connId, -1);
        return;
    }
    int clientId = lowestFreeClientId();
    if (hello.requestedId >= 0) {
        // The datagram connection of a client asks for its stream's id. An id
        // outside the player slots or held by someone else is refused, so
        // nobody can speak for another player.
        if (hello.requestedId >= maxPlayers() ||
            findEstablishedByClientId(hello.requestedId) != nullptr) {
            refuseHello(connId, -2);
            return;
        }
        clientId = hello.requestedId;
    }
    if (clientId < 0) {
        refuseHello(connId, -1);
        return;
    }
    record.clientId = clientId;
    record.players = hello.players;
    playerCount_ += hello.players;
    if (usesDatagrams()) {
        startTimeout(record, timeout());
    } else {
        record.timeoutTimer.stop();
    }
    if (becomesHost) {
        hostConnId_ = connId;
    }
    sendHelloReply(false, connId, clientId, connId == hostConnId_);
}

void ConnectionAbstract::processHelloReply(ConnectionInfo& record,
                                           const ConnectionMessage& message) {
    if (record.state != State::StateHandshake || isEstablished(record.connId)) {
        return;
    }
    const Codec::HelloReply reply = Codec::parseHelloReply(message.content);
    switch (reply.clientId) {
        case -1:
            Q_EMIT errorOccured(-1, ServerFull);
            return;
        case -2:
            Q_EMIT errorOccured(-1, Refused);
            return;
        case -3:
            Q_EMIT errorOccured(-1, WrongPassword);
            return;
        default:
            break;
    }
    if (reply.clientId < 0) {
        return;  // no such answer; a client id is never negative
    }
    record.resendTimer.stop();
    record.awaitingAnswer = false;
    record.clientId = reply.clientId;
    record.receivedReliableMs = nowMs();
    record.state = State::StateLobby;
    moveRecord(record.connId, Table::Established);
    if (usesDatagrams()) {
        startTimeout(record, timeout());
    } else {
        record.timeoutTimer.stop();
    }
    Q_EMIT connectionEstablished(reply.clientId, reply.isHost);
}

void ConnectionAbstract::processPlayers(ConnectionInfo& record, const ConnectionMessage& message) {
    if (!isEstablished(record.connId) || !record.isPlaying()) {
        return;
    }
    Codec::Players players = Codec::parsePlayers(message.content);
    // A connection speaks for as many players as its hello said: a second
    // name from a single player's connection would take a slot of its own.
    for (qsizetype local = record.players; local < players.names.size(); ++local) {
        players.names[local].clear();
    }
    Q_EMIT changedSPlayers(record.clientId, players.names, players.colors, players.status);
}

void ConnectionAbstract::processPlayerList(ConnectionInfo& record,
                                           const ConnectionMessage& message) {
    if (!isEstablished(record.connId) || !record.isPlaying()) {
        return;
    }
    const Codec::PlayerList list = Codec::parsePlayerList(message.content);
    Q_EMIT changedCPlayerlist(list.connIds, list.names, list.colors, list.status);
}

void ConnectionAbstract::processClientChat(ConnectionInfo& record,
                                           const ConnectionMessage& message) {
    if (!isEstablished(record.connId)) {
        return;
    }
    const Codec::ChatLine line = Codec::parseChat(message.content);
    Q_EMIT changedSMessage(record.clientId, line.player, line.text);
}

void ConnectionAbstract::processServerChat(ConnectionInfo& record,
                                           const ConnectionMessage& message) {
    if (!isEstablished(record.connId)) {
        return;
    }
    const Codec::ChatLine line = Codec::parseChat(message.content);
    Q_EMIT changedCMessage(line.player, line.text);
}

void ConnectionAbstract::processPingList(ConnectionInfo& record, const ConnectionMessage& message) {
    if (!isEstablished(record.connId) || !record.isPlaying()) {
        return;
    }
    // Answer first: the server measures the time until the pong.
    transmit(record.connId, false, MessageCode::CPNG, QLatin1String(Codec::kPong));
    const Codec::PingList list = Codec::parsePingList(message.content);
    Q_EMIT changedCPinglist(list.connIds, list.pings);
}

void ConnectionAbstract::processPong(ConnectionInfo& record, const ConnectionMessage&) {
    if (isEstablished(record.connId) && record.isPlaying() && record.pingClockStart >= 0) {
        record.ping = static_cast<int>(
            std::min<qint64>(nowMs() - record.pingClockStart, std::numeric_limits<int>::max()));
    }
}

void ConnectionAbstract::processStartRequest(ConnectionInfo& record, const ConnectionMessage&) {
    if (isEstablished(record.connId) && record.state == State::StateLobby &&
        record.connId == hostConnId_) {
        Q_EMIT changedSPlayerStart(record.clientId);
    }
}

void ConnectionAbstract::processGameStart(ConnectionInfo& record,
                                          const ConnectionMessage& message) {
    if (!isEstablished(record.connId) || !record.isPlaying()) {
        return;
    }
    record.state = State::StateInGame;
    const Codec::GameStart start = Codec::parseGameStart(message.content);
    Q_EMIT changedCGameStart(start.clientId, start.fieldsizeX, start.countDown);
}

void ConnectionAbstract::processRestartRequest(ConnectionInfo& record, const ConnectionMessage&) {
    if (isEstablished(record.connId) && record.state == State::StateInGame &&
        (record.connId == hostConnId_ || hostConnId_ == -1)) {
        Q_EMIT changedSPlayerRestart(record.clientId);
    }
}

void ConnectionAbstract::processGameRestart(ConnectionInfo& record,
                                            const ConnectionMessage& message) {
    if (!isEstablished(record.connId) || record.state != State::StateInGame) {
        return;
    }
    record.state = State::StateLobby;
    Q_EMIT changedCGameRestart(Codec::parseNumber(message.content));
}

void ConnectionAbstract::processGameState(ConnectionInfo& record,
                                          const ConnectionMessage& message) {
    if (!isEstablished(record.connId) || record.state != State::StateLobby) {
        return;
    }
    record.state = State::StateInGame;
    const Codec::GameState state = Codec::parseGameState(message.content);
    Q_EMIT changedCGameState(state.fieldsizeX, state.paused, state.score, state.playtime,
                             state.field, state.blocks);
}

void ConnectionAbstract::processInput(ConnectionInfo& record, const ConnectionMessage& message) {
    if (isEstablished(record.connId) && record.state == State::StateInGame) {
        Q_EMIT changedSPlayerInput(record.clientId, Codec::parseInput(message.content));
    }
}

void ConnectionAbstract::processNewBlock(ConnectionInfo& record, const ConnectionMessage& message) {
    if (!isEstablished(record.connId) || record.state != State::StateInGame) {
        return;
    }
    const Codec::BlockRecord b = Codec::parseNewBlock(message.content);
    Q_EMIT changedCNewBlock(b.id, b.colour, b.kind, b.x, b.y, b.rotation);
}

void ConnectionAbstract::processMoveBlocks(ConnectionInfo& record,
                                           const ConnectionMessage& message) {
    if (!isEstablished(record.connId) || record.state != State::StateInGame) {
        return;
    }
    const Codec::Moves moves = Codec::parseMoves(message.content);
    Q_EMIT changedCMoveBlocks(moves.moves, moves.activeIds);
}

void ConnectionAbstract::processMergeBlocks(ConnectionInfo& record,
                                            const ConnectionMessage& message) {
    if (!isEstablished(record.connId) || record.state != State::StateInGame) {
        return;
    }
    Q_EMIT changedCMergeBlocks(Codec::parseMerges(message.content));
}

void ConnectionAbstract::processPauseRequest(ConnectionInfo& record, const ConnectionMessage&) {
    if (isEstablished(record.connId) && record.state == State::StateInGame) {
        Q_EMIT changedSPlayerPause(record.clientId);
    }
}

void ConnectionAbstract::processPause(ConnectionInfo& record, const ConnectionMessage& message) {
    if (isEstablished(record.connId) && record.state == State::StateInGame) {
        const Codec::Pause pause = Codec::parsePause(message.content);
        Q_EMIT changedCPause(pause.clientId, pause.countDown);
    }
}

void ConnectionAbstract::processGameOver(ConnectionInfo& record, const ConnectionMessage& message) {
    if (!isEstablished(record.connId) || record.state != State::StateInGame) {
        return;
    }
    record.state = State::StateLobby;
    const Codec::GameOver over = Codec::parseGameOver(message.content);
    Q_EMIT changedCGameOver(over.score, over.lines, over.playtime);
}

void ConnectionAbstract::processDisconnectRequest(ConnectionInfo& record,
                                                  const ConnectionMessage&) {
    if (!isEstablished(record.connId) || !record.isPlaying()) {
        return;
    }
    const int connId = record.connId;
    const int clientId = record.clientId;
    const bool wasHost = connId == hostConnId_;
    record.state = State::StateClosing;
    Q_EMIT changedSPlayerDisconnect(clientId);
    if (wasHost && hostOwnsServer()) {
        // The host leaving ends the game for everybody.
        sendShutdown(false, clientId);
        clearConnections();
        Q_EMIT serverShutdown(clientId);
        return;
    }
    sendPlayerDisconnect(false, clientId);
    removeConnection(connId);
}

void ConnectionAbstract::processPlayerDisconnect(ConnectionInfo& record,
                                                 const ConnectionMessage& message) {
    if (!isEstablished(record.connId) || record.state == State::StateNone ||
        record.state == State::StateHandshake) {
        return;
    }
    const int clientId = Codec::parseNumber(message.content);
    if (clientId == record.clientId) {
        Q_EMIT connectionClosed(clientId);
        clearConnections();
        return;
    }
    Q_EMIT changedCPlayerDisconnect(clientId);
}

void ConnectionAbstract::processKickRequest(ConnectionInfo& record,
                                            const ConnectionMessage& message) {
    if (isEstablished(record.connId) && record.isPlaying() && record.connId == hostConnId_) {
        Q_EMIT changedSPlayerKick(record.connId, Codec::parseNumber(message.content));
    }
}

void ConnectionAbstract::processKick(ConnectionInfo& record, const ConnectionMessage& message) {
    if (!isEstablished(record.connId) || !record.isPlaying()) {
        return;
    }
    const int clientId = Codec::parseNumber(message.content);
    const bool own = clientId == record.clientId;
    Q_EMIT changedCPlayerKick(clientId);
    if (own) {
        clearConnections();
    }
}

void ConnectionAbstract::processShutdown(ConnectionInfo& record, const ConnectionMessage& message) {
    if (!isEstablished(record.connId) || record.state == State::StateNone ||
        record.state == State::StateHandshake) {
        return;
    }
    Q_EMIT serverShutdown(Codec::parseNumber(message.content));
    clearConnections();
}

void ConnectionAbstract::serveResend(ConnectionInfo& record, int number) {
    const qint64 missing = qint64(record.sequence) - number;
    if (missing <= 0) {
        return;
    }
    ++resendRequests_[record.clientId];
    if (missing > timings_.maxResendGap || missing > record.history.size()) {
        Q_EMIT errorOccured(record.clientId, PacketLoss);
        return;
    }
    // Copy first: a retransmission may end the connection on the way.
    const QList<ConnectionMessage> resend = record.history.mid(record.history.size() - missing);
    const int connId = record.connId;
    for (const ConnectionMessage& message : resend) {
        retransmit(connId, message);
    }
}

void ConnectionAbstract::processResendRequest(ConnectionInfo& record,
                                              const ConnectionMessage& message) {
    if (isEstablished(record.connId)) {
        serveResend(record, Codec::parseNumber(message.content));
    }
}

void ConnectionAbstract::processMasterAnswer(ConnectionInfo& record, const ConnectionMessage&) {
    takeAnswer(record, {MessageCode::SON, MessageCode::SOF});
}

void ConnectionAbstract::processMasterTest(ConnectionInfo& record, const ConnectionMessage&) {
    // Only the first answer counts: a late answer to a repeated test must not
    // report the master server twice.
    if (takeAnswer(record, {MessageCode::CTS})) {
        Q_EMIT masterserverOnline(-1);
    }
}

void ConnectionAbstract::processMasterList(ConnectionInfo& record,
                                           const ConnectionMessage& message) {
    if (!takeAnswer(record, {MessageCode::CLS})) {
        return;
    }
    const QStringList entries = Codec::parseServerList(message.content);
    if (entries.isEmpty()) {
        Q_EMIT masterserverResult(-1, MasterserverResult::MasterListEmpty);
        return;
    }
    Q_EMIT masterserverResult(-1, MasterserverResult::MasterListReceived);
    serverList_ = entries;
    queryNextServers();
}

void ConnectionAbstract::processInfoRequest(ConnectionInfo& record, const ConnectionMessage&) {
    const int connId = record.connId;
    sendServerInfo(false, connId);
    // A stranger asking is forgotten at once; a player who asks stays.
    if (!isEstablished(connId)) {
        removeConnection(connId);
    }
}

void ConnectionAbstract::processServerInfo(ConnectionInfo& record,
                                           const ConnectionMessage& message) {
    const int connId = record.connId;
    if (!queryAddresses_.contains(connId) || !record.awaitingAnswer) {
        return;
    }
    const std::optional<Codec::ServerInfo> info = Codec::parseServerInfo(message.content);
    if (!info) {
        return;  // not genuine: the probe runs out by repetition
    }
    takeAnswer(record, {MessageCode::CIN});
    // The recorded entry is "address:port"; the port follows the last colon.
    const QString entry = queryAddresses_.value(connId);
    const qsizetype colon = entry.lastIndexOf(u':');
    if (colon > 0) {
        const qint64 ping = record.pingClockStart >= 0 ? nowMs() - record.pingClockStart : 0;
        Q_EMIT changedCNewServer(
            -1,
            ServerData(info->version, entry.left(colon), info->name,
                       Codec::toInt(entry.mid(colon + 1)), info->ranked, info->hasPassword,
                       info->players, info->maxPlayers,
                       static_cast<int>(std::min<qint64>(ping, std::numeric_limits<int>::max())),
                       QString()));
    }
    if (!finishQuery(connId)) {
        removeConnection(connId);
    }
}
