#include "connectioncore.h"

#include <algorithm>
#include <array>
#include <limits>

#include "network/clientcodes.h"
#include "network/masterlink.h"
#include "network/networklog.h"
#include "network/payloadcodec.h"
#include "network/servercodes.h"

namespace {

using State = ConnectionState;
namespace Codec = PayloadCodec;

// What ping lists show for a player the server seats itself: it has no
// connection to measure, and is as near as a player can be.
constexpr int kSeatPingMs = 5;

// ---- dispatch: the handler of each code, as the code table names it

template <typename Role>
Role& part(ConnectionCore& core);
template <>
ConnectionCore& part<ConnectionCore>(ConnectionCore& core) {
    return core;
}
template <>
ServerCodes& part<ServerCodes>(ConnectionCore& core) {
    return core.serverCodes();
}
template <>
ClientCodes& part<ClientCodes>(ConnectionCore& core) {
    return core.clientCodes();
}
template <>
MasterLink& part<MasterLink>(ConnectionCore& core) {
    return core.masterLink();
}

template <typename Method>
struct RoleOf;
template <typename Role>
struct RoleOf<void (Role::*)(ConnectionInfo&, const ConnectionMessage&)> {
    using type = Role;
};

using Handler = void (*)(ConnectionCore&, ConnectionInfo&, const ConnectionMessage&);

// Calls a handler on the part of the core it belongs to.
template <auto method>
void call(ConnectionCore& core, ConnectionInfo& record, const ConnectionMessage& message) {
    (part<typename RoleOf<decltype(method)>::type>(core).*method)(record, message);
}

const std::array<Handler, MessageCodes::kCount> kHandlers{
#define QUADRELL_CODE_DISPATCH(code, side, needs, channel, handler) &call<&handler>,
    QUADRELL_MESSAGE_CODES(QUADRELL_CODE_DISPATCH)
#undef QUADRELL_CODE_DISPATCH
};

bool meets(CodeNeeds needs, const ConnectionInfo& record, bool established) {
    switch (needs) {
        case CodeNeeds::Any:
            return true;
        case CodeNeeds::Handshake:
            return !established && record.state == State::StateHandshake;
        case CodeNeeds::Established:
            return established;
        case CodeNeeds::Playing:
            return established && record.isPlaying();
        case CodeNeeds::Lobby:
            return established && record.state == State::StateLobby;
        case CodeNeeds::InGame:
            break;
    }
    return established && record.state == State::StateInGame;
}

}  // namespace

ConnectionCore::ConnectionCore(const ConnectionSettings& settings, ConnectionInterface& events,
                               std::unique_ptr<Transport> transport, QObject* parent)
    : QObject(parent),
      settings_(settings),
      events_(events),
      transport_(std::move(transport)),
      clock_(&Clock::system()),
      serverCodes_(std::make_unique<ServerCodes>(*this)),
      clientCodes_(std::make_unique<ClientCodes>(*this)),
      masterLink_(std::make_unique<MasterLink>(*this)) {
    transport_->attach(*this);
    disconnectTimer_.setSingleShot(true);
    connect(&disconnectTimer_, &QTimer::timeout, this, &ConnectionCore::forceDisconnect);
    connect(&pingTimer_, &QTimer::timeout, this, &ConnectionCore::updatePings);
    connect(&keepAliveTimer_, &QTimer::timeout, this, &ConnectionCore::sendKeepAlive);
    if (settings_.pingInterval > 0) {
        pingTimer_.start(settings_.pingInterval);
    }
}

ConnectionCore::~ConnectionCore() = default;

void ConnectionCore::setKeepAlive(int intervalMs, int quietMs) {
    quietMs_ = quietMs;
    if (intervalMs > 0) {
        keepAliveTimer_.start(intervalMs);
    } else {
        keepAliveTimer_.stop();
    }
}

// ---------------------------------------------------------------- records

ConnectionInfo& ConnectionCore::addRecord(Table which, int connId, ConnectionState state) {
    auto* record = new ConnectionInfo(connId, this);
    record->state = state;
    record->channel = ReliableChannel(timings().historySize, timings().maxResendGap);
    connect(record, &ConnectionInfo::gotTimeout, this, &ConnectionCore::processTimeout);
    connect(record, &ConnectionInfo::gotResend, this, &ConnectionCore::resendMessage);
    tables_.insert(which, connId, *record);
    return *record;
}

void ConnectionCore::startTimeout(ConnectionInfo& record, int ms) {
    if (ms > 0) {
        record.timeoutTimer.start(ms);
    } else {
        record.timeoutTimer.stop();
    }
}

void ConnectionCore::watchEstablished(ConnectionInfo& record) {
    if (usesDatagrams()) {
        startTimeout(record, settings_.timeout);
    } else {
        record.timeoutTimer.stop();
    }
}

void ConnectionCore::removeConnection(int connId) {
    const bool admitted = isEstablished(connId);
    ConnectionInfo* record = tables_.take(connId);
    if (record == nullptr) {
        return;
    }
    if (gate_ != nullptr && admitted && record->accepted && record->clientId >= 0) {
        gate_->left(channel(), record->clientId);
    }
    masterLink_->forget(connId);
    record->timeoutTimer.stop();
    record->resendTimer.stop();
    record->disconnect(this);
    transport_->release(*record);
    record->socket = nullptr;
    // A handler up the stack may still hold it.
    record->deleteLater();
}

void ConnectionCore::clearConnections() {
    for (Table which : {Table::Established, Table::Pending, Table::Queries}) {
        for (int id : tables_.ids(which)) {
            removeConnection(id);
        }
    }
    tables_.restart();
    localPlayers_ = -1;
    disconnectTimer_.stop();
    // Ids start again at 0, so nothing may still refer to the old ones.
    masterLink_->reset();
}

// ---------------------------------------------------------------- sending

void ConnectionCore::sendMessage(int connId, bool reliable, MessageCode code,
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

void ConnectionCore::transmit(int connId, bool reliable, MessageCode code, const QString& content) {
    ConnectionInfo* record = find(connId);
    if (record == nullptr || record->state == State::StateNone) {
        return;
    }
    ConnectionMessage message(code, content);
    if (reliable && usesDatagrams()) {
        record->channel.stamp(message);
    }
    put(*record, message);
}

void ConnectionCore::retransmit(int connId, const ConnectionMessage& message) {
    if (ConnectionInfo* record = find(connId)) {
        put(*record, message);
    }
}

void ConnectionCore::put(ConnectionInfo& record, const ConnectionMessage& message) {
    const qint64 bytes = transport_->deliver(record, message);
    if (bytes > 0) {
        bytesSent_[record.clientId] += bytes;
    }
}

void ConnectionCore::sendToStates(std::initializer_list<ConnectionState> states, bool reliable,
                                  MessageCode code, const QString& content) {
    for (int id : establishedIds()) {
        const ConnectionInfo* record = findInTable(Table::Established, id);
        if (record != nullptr &&
            std::find(states.begin(), states.end(), record->state) != states.end()) {
            transmit(id, reliable, code, content);
        }
    }
}

void ConnectionCore::setStateWhere(ConnectionState from, ConnectionState to) {
    for (const auto& [id, record] : tables_.records(Table::Established)) {
        if (record->state == from) {
            record->state = to;
        }
    }
}

void ConnectionCore::startRepeating(ConnectionInfo& record, const ConnectionMessage& message,
                                    bool repeat) {
    if (!repeat) {
        // Taking the place of a repeated message would repeat this one
        // instead, until the link gave up for want of an answer to it.
        put(record, message);
        return;
    }
    record.lastMessage = message;
    record.awaitingAnswer = true;
    // Every message gets its own 7 sends; a count carried over from earlier
    // messages would make a long-lived master connection give up at once.
    record.resendCount = 0;
    put(record, message);
    record.resendTimer.start(timings().resendIntervalMs);
}

bool ConnectionCore::takeAnswer(ConnectionInfo& record,
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

void ConnectionCore::storeHello(int requestedId, int players, int hostKey,
                                const QString& password) {
    requestedId_ = requestedId;
    localPlayers_ = players;
    helloHostKey_ = hostKey;
    helloPassword_ = password;
}

void ConnectionCore::sendHello(bool repeat, int connId, int requestedId, int players, int hostKey,
                               const QString& password) {
    ConnectionInfo* record = find(connId);
    if (record == nullptr) {
        return;
    }
    if (!rejoinToken_.isEmpty()) {
        startRepeating(*record,
                       ConnectionMessage(MessageCode::CRJ,
                                         Codec::buildRejoin({requestedId, players, rejoinToken_})),
                       repeat);
        return;
    }
    startRepeating(*record,
                   ConnectionMessage(MessageCode::CHI,
                                     Codec::buildHello(requestedId, players, hostKey, password)),
                   repeat);
}

void ConnectionCore::requestResend() {
    for (int id : establishedIds()) {
        if (const ConnectionInfo* record = findInTable(Table::Established, id)) {
            transmit(id, false, MessageCode::BRES, Codec::buildNumber(record->channel.received()));
        }
    }
}

// ---------------------------------------------------------------- disconnects

void ConnectionCore::sendShutdown(int clientId) {
    sendMessage(-1, false, MessageCode::SSHD, Codec::buildNumber(clientId));
}

void ConnectionCore::sendPlayerDisconnect(int clientId) {
    sendMessage(-1, false, MessageCode::SDSC, Codec::buildNumber(clientId));
}

void ConnectionCore::disconnectClient(int clientId, bool immediately) {
    if (clientId >= 0) {
        ConnectionInfo* record = findEstablishedByClientId(clientId);
        if (record == nullptr || record->state == State::StateClosing) {
            return;
        }
        const int connId = record->connId;
        if (record->state != State::StateNone) {
            record->state = State::StateClosing;
        }
        if (!immediately) {
            sendPlayerDisconnect(clientId);
        }
        removeConnection(connId);
        return;
    }
    if (immediately) {
        clearConnections();
        return;
    }
    for (Table which : {Table::Established, Table::Pending, Table::Queries}) {
        for (const auto& [id, record] : tables_.records(which)) {
            if (record->state != State::StateNone) {
                record->state = State::StateClosing;
            }
        }
    }
    disconnectTimer_.start(timings().disconnectTimeoutMs);
    sendMessage(-1, false, MessageCode::CDSC, QLatin1String(Codec::kDisconnect));
}

void ConnectionCore::announceShutdown(int byClientId) {
    sendShutdown(byClientId);
    clearConnections();
}

void ConnectionCore::forceDisconnect() {
    Q_EMIT events_.connectionClosed(-1);
    clearConnections();
}

// ---------------------------------------------------------------- timers

void ConnectionCore::updatePings() {
    QList<int> connIds;
    QList<int> pings;
    for (const auto& [id, record] : tables_.records(Table::Established)) {
        connIds.append(record->clientId);
        pings.append(record->ping);
        // Stays at no ping unless an answer comes before the next list.
        record->ping = record->isPlaying() ? GamePlayer::kNoPing : -1;
    }
    for (int seat : gate_ != nullptr ? gate_->seats() : QList<int>()) {
        connIds.append(seat);
        pings.append(kSeatPingMs);
    }
    sendMessage(-1, false, MessageCode::SPNG, Codec::buildPingList(connIds, pings));
}

void ConnectionCore::sendKeepAlive() {
    const qint64 now = nowMs();
    for (int id : establishedIds()) {
        ConnectionInfo* record = findInTable(Table::Established, id);
        if (record == nullptr || !record->isPlaying()) {
            continue;
        }
        transmit(id, false, MessageCode::SLNE, QString());
        if (const std::optional<int> from = record->channel.quietRequest(now, quietMs_)) {
            transmit(id, false, MessageCode::BRES, Codec::buildNumber(*from));
        }
    }
}

void ConnectionCore::processTimeout(int connId) {
    ConnectionInfo* record = find(connId);
    if (record == nullptr) {
        return;
    }
    if (masterLink_->giveUpQuery(connId)) {
        return;
    }
    const int clientId = record->clientId;
    switch (record->state) {
        case State::StateLobby:
        case State::StateInGame:
            Q_EMIT events_.errorOccured(clientId, ConnectionInterface::Timeout);
            break;
        case State::StateClosing:
            Q_EMIT events_.connectionClosed(clientId);
            break;
        case State::StateNone:
        case State::StateHandshake:
            break;  // never got going: nobody needs to hear about it
    }
    removeConnection(connId);
}

void ConnectionCore::resendMessage(int connId) {
    ConnectionInfo* record = find(connId);
    if (record == nullptr) {
        return;
    }
    if (record->resendCount < timings().maxResends) {
        ++record->resendCount;
        retransmit(connId, record->lastMessage);
        return;
    }
    record->resendTimer.stop();
    if (masterLink_->giveUpQuery(connId)) {
        return;
    }
    Q_EMIT events_.errorOccured(record->clientId, ConnectionInterface::ConnectionLost);
    removeConnection(connId);
}

// ---------------------------------------------------------------- receiving

void ConnectionCore::processConnected(int connId) {
    ConnectionInfo* record = find(connId);
    if (record != nullptr && record->state == State::StateHandshake && localPlayers_ != -1) {
        sendHello(true, connId, requestedId_, localPlayers_, helloHostKey_, helloPassword_);
    }
}

// A peer that connected to us is a client; one we connected to is a game
// server or the master server. A client that sends a server's code (a
// goodbye to itself, a shutdown, a hello answer) must not make us act as if
// our server had said it.
bool ConnectionCore::heard(const ConnectionInfo& record, MessageCode code) const {
    switch (MessageCodes::row(code).side) {
        case CodeSide::Both:
            return true;
        case CodeSide::Client:
            return record.accepted;
        case CodeSide::Server:
        case CodeSide::Master:
            break;
    }
    return !record.accepted;
}

void ConnectionCore::dropUnheard(const ConnectionInfo& record, const ConnectionMessage& message,
                                 const char* why) {
    ++unheard_;
    qCDebug(lcNetwork) << "dropped" << message.type << message.number << "of connection"
                       << record.connId << "(" << why << ")";
}

// Standing of what an established peer sends. On datagrams anyone can send
// from a player's address and port, so a message counts only when it fits
// what the connection already knows:
// - a numbered (reliable) message when its number lies in the window: the
//   next one is delivered, a gap the peer could fill asks for a resend, one
//   seen already is a duplicate; anything further ahead is dropped, never
//   taken as proof of loss;
// - a resend request ("BRES") when the history can answer it (see
//   processResendRequest);
// - a goodbye, shutdown or kick as ServerCodes and ClientCodes say;
// - a code the other side does not send is dropped, and so is a datagram
//   that holds no message (the framing drops it unread).
// A number outside the window is no sign of life for the inactivity time-out
// either, so forged numbers cannot keep a gone peer's connection open.
void ConnectionCore::processContent(int connId, const ConnectionMessage& message) {
    const int index = message.code();
    ConnectionInfo* record = find(connId);
    if (index < 0 || record == nullptr) {
        return;
    }
    const auto code = static_cast<MessageCode>(index);
    if (!heard(*record, code)) {
        dropUnheard(*record, message, "a code the peer's side does not send");
        return;
    }
    const bool established = isEstablished(connId);
    if (message.number >= 0) {
        // Only an established peer has a sequence to keep; counting a number
        // before the handshake would lose the message for good.
        if (!established) {
            return;
        }
        switch (record->channel.receive(message.number, nowMs())) {
            case ReliableChannel::Arrival::Deliver:
                break;
            case ReliableChannel::Arrival::Duplicate:
                watchAlive(*record);
                return;
            case ReliableChannel::Arrival::AskResend:
                watchAlive(*record);
                transmit(connId, false, MessageCode::BRES,
                         Codec::buildNumber(record->channel.received()));
                return;
            case ReliableChannel::Arrival::OutOfWindow:
                // From our server it means we lost more than it can send
                // again: our copy of the game would never catch up. From a
                // client it has no standing: anyone can forge its address.
                if (!record->accepted) {
                    Q_EMIT events_.errorOccured(record->clientId, ConnectionInterface::PacketLoss);
                    return;
                }
                dropUnheard(*record, message, "a number outside the window");
                return;
        }
    }
    if (established) {
        watchAlive(*record);
    }
    if (meets(MessageCodes::row(code).needs, *record, established)) {
        kHandlers[static_cast<std::size_t>(index)](*this, *record, message);
    }
}

void ConnectionCore::watchAlive(ConnectionInfo& record) {
    if (usesDatagrams()) {
        startTimeout(record, settings_.timeout);
    }
}

void ConnectionCore::processResendRequest(ConnectionInfo& record,
                                          const ConnectionMessage& message) {
    const ReliableChannel::Resend resend =
        record.channel.serve(Codec::parseNumber(message.content));
    if (resend.kind == ReliableChannel::Resend::Kind::Nothing) {
        return;
    }
    if (resend.kind == ReliableChannel::Resend::Kind::OutOfWindow) {
        dropUnheard(record, message, "a resend request the history cannot answer");
        return;
    }
    ++resendRequests_[record.clientId];
    // The messages are a copy: a retransmission may end the connection on the way.
    const int connId = record.connId;
    for (const ConnectionMessage& m : resend.messages) {
        retransmit(connId, m);
    }
}
