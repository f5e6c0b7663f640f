#pragma once

#include <QList>
#include <QObject>
#include <QTimer>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>

#include "game/clock.h"
#include "network/admission.h"
#include "network/connectioninfo.h"
#include "network/connectioninterface.h"
#include "network/connectionsettings.h"
#include "network/connectiontables.h"
#include "network/losssimulation.h"
#include "network/transport.h"

class ClientCodes;
class MasterLink;
class ServerCodes;

// The heart of one connection object: its connection records (kept in
// ConnectionTables), sending (numbered through each record's ReliableChannel on
// datagrams), receiving with the checks of the code table (messagecodes.h)
// and the dispatch to the handler named there, the repetition of hellos,
// probes and announcements, pings, keep-alive, time-outs and disconnects.
//
// What a code means lives elsewhere: ServerCodes (what a server hears),
// ClientCodes (what a client hears), MasterLink (the master server and the
// probes); who may join is the server's PlayerGate. The core raises their
// events through the facade it is given, and reaches its peers through its
// Transport.
//
// Every handler runs in the owner's thread. Records removed while a signal is
// being handled are deleted later, so handlers look records up again by id
// after every emission instead of holding on to them.
class ConnectionCore : public QObject {
    Q_OBJECT

public:
    using Table = ConnectionTables::Table;

    ConnectionCore(const ConnectionSettings& settings, ConnectionInterface& events,
                   std::unique_ptr<Transport> transport, QObject* parent = nullptr);
    ~ConnectionCore() override;

    const ConnectionSettings& settings() const { return settings_; }
    void setInviteCode(const QString& code) { settings_.inviteCode = code; }
    const NetworkTimings& timings() const { return settings_.timings; }
    ConnectionInterface& events() const { return events_; }
    // The facade as the role whose events a handler raises; null when this
    // connection plays another (a peer sent it the other side's code).
    template <class Role>
    Role* eventsAs() const {
        return qobject_cast<Role*>(&events_);
    }
    Transport& transport() const { return *transport_; }
    // The server's decision on hellos (PlayerGate); without one every hello
    // is refused. Not owned: it outlives the core.
    PlayerGate* gate() const { return gate_; }
    void setGate(PlayerGate* gate) { gate_ = gate; }
    ServerCodes& serverCodes() const { return *serverCodes_; }
    ClientCodes& clientCodes() const { return *clientCodes_; }
    MasterLink& masterLink() const { return *masterLink_; }
    // The clock that pings, probe round trips and quiet spells are measured with.
    void setClock(const Clock& clock) {
        clock_ = &clock;
        loss_.setClock(clock);
    }
    qint64 nowMs() const { return clock_->nowMs(); }
    LossSimulation& lossSimulation() { return loss_; }
    // Sends an unreliable "SLNE", which every receiver takes and ignores, on
    // each connection in the lobby or a game every intervalMs (0: never), so
    // that the peer's inactivity time-out does not hang on a few lost
    // datagrams; and a resend request ("BRES") on each that has had no
    // reliable datagram for quietMs (0: never), which the peer answers with
    // whatever was lost after the last one or with nothing.
    void setKeepAlive(int intervalMs, int quietMs = 0);
    // Datagrams numbered and timed out: the setting, unless the transport is a stream.
    bool usesDatagrams() const { return settings_.datagram && !transport_->isStream(); }
    GameChannel channel() const {
        return usesDatagrams() ? GameChannel::Datagram : GameChannel::Stream;
    }

    // ---- tables
    int playerCount() const { return tables_.playerCount(); }
    void addPlayers(int players) { tables_.addPlayers(players); }
    // Client id this object's own connection got, -1 before (client side).
    int establishedClientId() const { return tables_.establishedClientId(); }
    QList<int> clientIds() const { return tables_.clientIds(); }
    int nextConnId() const { return tables_.nextConnId(); }
    int takeConnId() { return tables_.takeConnId(); }
    const ConnectionInfo* connection(int connId) const { return find(connId); }
    ConnectionInfo* find(int connId) const { return tables_.find(connId); }
    ConnectionInfo* findInTable(Table table, int connId) const {
        return tables_.findIn(table, connId);
    }
    ConnectionInfo* findEstablishedByClientId(int clientId) const {
        return tables_.findEstablishedByClientId(clientId);
    }
    bool isEstablished(int connId) const { return tables_.contains(Table::Established, connId); }
    bool isPending(int connId) const { return tables_.contains(Table::Pending, connId); }
    bool isQuery(int connId) const { return tables_.contains(Table::Queries, connId); }
    QList<int> establishedIds() const { return tables_.ids(Table::Established); }
    QList<int> pendingIds() const { return tables_.ids(Table::Pending); }
    QList<int> queryIds() const { return tables_.ids(Table::Queries); }
    // A new record with its timers wired to this object.
    ConnectionInfo& addRecord(Table table, int connId, ConnectionState state);
    void moveRecord(int connId, Table to) { tables_.move(connId, to); }
    void removeConnection(int connId);
    // Back to the start: no records, ids from 0 again, no host, no hello.
    void clearConnections();
    // Starts (or with ms <= 0 stops) the record's time-out.
    void startTimeout(ConnectionInfo& record, int ms);
    // An established peer is watched for silence on datagrams only.
    void watchEstablished(ConnectionInfo& record);

    // Bytes handed to the sockets so far, by client id (-1: peers without one).
    const std::map<int, qint64>& bytesSent() const { return bytesSent_; }
    // Resend requests ("BRES") that asked for something, by client id.
    const std::map<int, qint64>& resendRequests() const { return resendRequests_; }
    // Messages from known peers dropped for want of standing in their
    // connection (see processContent).
    qint64 unheard() const { return unheard_; }
    // Drops such a message: counted, and logged at debug level.
    void dropUnheard(const ConnectionInfo& record, const ConnectionMessage& message,
                     const char* why);

    // ---- sending
    // connId < 0: to every established connection, restarting its ping clock.
    void sendMessage(int connId, bool reliable, MessageCode code, const QString& content);
    // Numbers a reliable message on a datagram connection and hands it over.
    void transmit(int connId, bool reliable, MessageCode code, const QString& content);
    void retransmit(int connId, const ConnectionMessage& message);
    void sendToStates(std::initializer_list<ConnectionState> states, bool reliable,
                      MessageCode code, const QString& content);
    void setStateWhere(ConnectionState from, ConnectionState to);
    // Sends message and, with repeat, again every resend interval until
    // takeAnswer stops it or the record gives up. Without repeat it only goes
    // out: what the record repeats (an announcement on the same link) goes on.
    void startRepeating(ConnectionInfo& record, const ConnectionMessage& message, bool repeat);
    // Stops the repetition if the record is waiting for an answer to one of
    // the codes given; false when it was not.
    bool takeAnswer(ConnectionInfo& record, std::initializer_list<MessageCode> askedWith);

    // ---- the client's hello
    // Stored by connectWithHello for a connection that is still coming up.
    void storeHello(int requestedId, int players, int hostKey, const QString& password);
    // With a token the hello is "CRJ": the seat of the requested id, back after a drop.
    void setRejoinToken(const QString& token) { rejoinToken_ = token; }
    void sendHello(bool repeat, int connId, int requestedId, int players, int hostKey,
                   const QString& password);
    void requestResend();

    // ---- disconnects
    void disconnectClient(int clientId, bool immediately);
    // The server goes away: "SSHD" (naming the client that ended it, -1 for
    // none) to every established connection, then all connections are
    // dropped without a signal.
    void announceShutdown(int byClientId = -1);
    void sendShutdown(int clientId);
    void sendPlayerDisconnect(int clientId);

    // ---- receiving: transports call these
    void processConnected(int connId);
    void processContent(int connId, const ConnectionMessage& message);
    // Handlers of the code table that belong to no role.
    void processResendRequest(ConnectionInfo& record, const ConnectionMessage& message);
    void ignore(ConnectionInfo&, const ConnectionMessage&) {}

    // ---- timers
    void updatePings();
    void processTimeout(int connId);
    void resendMessage(int connId);

private:
    bool heard(const ConnectionInfo& record, MessageCode code) const;
    // A sign of life from an established peer: restarts its time-out on datagrams.
    void watchAlive(ConnectionInfo& record);
    // deliver, counting the bytes.
    void put(ConnectionInfo& record, const ConnectionMessage& message);
    void sendKeepAlive();
    void forceDisconnect();

    ConnectionSettings settings_;
    ConnectionInterface& events_;
    std::unique_ptr<Transport> transport_;
    PlayerGate* gate_ = nullptr;
    const Clock* clock_;
    LossSimulation loss_;
    std::unique_ptr<ServerCodes> serverCodes_;
    std::unique_ptr<ClientCodes> clientCodes_;
    std::unique_ptr<MasterLink> masterLink_;

    ConnectionTables tables_;
    QTimer pingTimer_;
    QTimer keepAliveTimer_;
    int quietMs_ = 0;
    QTimer disconnectTimer_;
    int requestedId_ = -1;
    int localPlayers_ = -1;  // -1: no hello to send
    int helloHostKey_ = -1;
    QString helloPassword_;
    QString rejoinToken_;
    std::map<int, qint64> bytesSent_;
    std::map<int, qint64> resendRequests_;
    qint64 unheard_ = 0;
};
