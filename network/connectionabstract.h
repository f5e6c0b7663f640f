#pragma once

#include <QAbstractSocket>
#include <QHash>
#include <QTime>
#include <QTimer>
#include <functional>
#include <map>

#include "game/clock.h"
#include "network/connectioninfo.h"
#include "network/connectioninterface.h"
#include "network/connectionmessage.h"
#include "network/losssimulation.h"
#include "network/networktimings.h"

// Everything of a connection that does not depend on the socket: the three
// tables of connections, ids, the handshake, sequence numbers and resend
// requests on datagram connections, repetition of hellos, probes and
// announcements, pings, time-outs, disconnects, the payloads of every code,
// the master server exchange and the probing of game servers.
//
// Transports derive from it and deliver encoded messages to their peers.
// Every handler runs in the owner's thread; records removed while a signal
// is being handled are deleted later, so handlers look records up again by id
// after every emission instead of holding on to them.
class ConnectionAbstract : public ConnectionInterface {
    Q_OBJECT

public:
    static constexpr int kMaxProbes = 3;

    ConnectionAbstract(const QString& name, int maxPlayers, bool singleplayer, bool stats,
                       int pingInterval, bool datagram, int hostKey, bool usePassword,
                       const QString& password, int timeout, QObject* parent = nullptr);
    ~ConnectionAbstract() override;

    // Durations other than pingInterval and timeout; set before use.
    void setTimings(const NetworkTimings& timings) { timings_ = timings; }
    const NetworkTimings& timings() const { return timings_; }
    // The clock that pings and probe round trips are measured with.
    void setClock(const Clock& clock) { clock_ = &clock; }
    // The time of day written into announcements.
    void setTimeOfDaySource(std::function<QTime()> source) { timeOfDay_ = std::move(source); }
    LossSimulation& lossSimulation() { return loss_; }
    // Sends an unreliable "SLNE", which every receiver takes and ignores, on
    // each connection in the lobby or a game every intervalMs (0: never), so
    // that the peer's inactivity time-out does not hang on a few lost
    // datagrams; and a resend request ("BRES") on each that has had no
    // reliable datagram for quietMs (0: never), which the peer answers with
    // whatever was lost after the last one or with nothing.
    void setKeepAlive(int intervalMs, int quietMs = 0);

    // A server without a client of its own: the first accepted hello becomes
    // host while there is no host, without the host key.
    void setFirstClientIsHost(bool on) { firstClientIsHost_ = on; }
    // The server's datagram side: a hello whose requested id equals the id
    // returned here becomes host, so that a client's stream and datagram
    // connections agree. The stream side has then already decided who may
    // join first, so the datagram side does not insist on the host key.
    void setHostClientIdSource(std::function<int()> source) { hostIdSource_ = std::move(source); }
    // The server's datagram side: a hello is accepted only when it asks for an
    // id that check confirms for the sender's address (the stream side has that
    // client, from that host). Without it, anyone who sends one datagram could
    // take a free id, or a joining player's id before the player's own hello,
    // and speak as that player.
    void setClientIdCheck(std::function<bool(int clientId, const QHostAddress& address)> check) {
        clientIdCheck_ = std::move(check);
    }
    // The peer's address of the established client with this id; null if none.
    QHostAddress clientAddress(int clientId) const;
    // Whether the host leaving ends the server ("SSHD" to all). Only a server
    // whose host is its own client is; with either setting above the host is
    // just the first client, and the others play on when it leaves.
    bool hostOwnsServer() const { return !firstClientIsHost_ && !hostIdSource_; }
    // Client id of the host's connection, -1 without one.
    int hostClientId() const;

    int playerCount() const { return playerCount_; }
    int hostConnId() const { return hostConnId_; }
    // Bytes handed to the sockets so far, by client id (-1: peers without one).
    const std::map<int, qint64>& bytesSent() const { return bytesSent_; }
    // Resend requests ("BRES") that asked for something, by client id.
    const std::map<int, qint64>& resendRequests() const { return resendRequests_; }
    int nextConnId() const { return nextConnId_; }
    const ConnectionInfo* connection(int connId) const { return find(connId); }
    bool isEstablished(int connId) const { return established_.count(connId) != 0; }
    bool isPending(int connId) const { return pending_.count(connId) != 0; }
    bool isQuery(int connId) const { return queries_.count(connId) != 0; }
    QList<int> establishedIds() const { return idsOf(established_); }
    QList<int> pendingIds() const { return idsOf(pending_); }
    QList<int> queryIds() const { return idsOf(queries_); }
    // Client id this object's own connection got, -1 before (client side).
    int establishedClientId() const;

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

    virtual void closeConnection(int connId);
    virtual void clearConnections();
    // The server goes away: "SSHD" to every established connection, then all
    // connections are dropped without a signal.
    void announceShutdown();

protected:
    enum class Table { Established, Pending, Queries };

    virtual void removeConnection(int connId);
    virtual void sendMessage(int connId, bool reliable, MessageCode code, const QString& content);
    // Numbers a reliable message on a datagram connection and hands it over.
    virtual void transmit(int connId, bool reliable, MessageCode code, const QString& content);
    virtual void retransmit(int connId, const ConnectionMessage& message);
    virtual void sendHello(bool repeat, int connId, int requestedId, int players, int hostKey,
                           const QString& password);
    virtual void sendHelloReply(bool reliable, int connId, int clientId, bool isHost);
    virtual void sendPinglist(bool reliable, const QList<int>& connIds, const QList<int>& pings);
    virtual void sendPong(bool reliable);
    virtual void sendResendRequest(bool reliable, int connId, int number);
    virtual void sendDisconnect(bool reliable);
    virtual void sendPlayerDisconnect(bool reliable, int clientId);
    virtual void sendShutdown(bool reliable, int clientId);
    virtual void sendInfoRequest(bool repeat, int connId);
    virtual void sendServerInfo(bool reliable, int connId);
    virtual bool acceptNumber(int connId, int number);
    virtual void queryNextServers();
    // Ends connId if it is a probe, answered or not, and gives its place to the
    // next listed server. False when it is no probe.
    bool finishQuery(int connId);

    // Transport hooks.
    // Puts one finished message on the wire to the record's peer; returns the
    // bytes handed to the socket (0 when nothing went out).
    virtual qint64 deliver(ConnectionInfo& record, const ConnectionMessage& message) = 0;
    // A stream transport never numbers messages, whatever the datagram flag says.
    virtual bool isStreamTransport() const { return false; }
    // Called once when a record leaves its table.
    virtual void releaseSocket(ConnectionInfo& record) { Q_UNUSED(record) }

    bool usesDatagrams() const { return datagram() && !isStreamTransport(); }
    ConnectionInfo* find(int connId) const;
    ConnectionInfo* findInTable(Table table, int connId) const;
    ConnectionInfo* findEstablishedByClientId(int clientId) const;
    // A new record with its timers wired to this object.
    ConnectionInfo& addRecord(Table table, int connId, ConnectionState state);
    void moveRecord(int connId, Table to);
    int takeConnId() { return nextConnId_++; }
    void startTimeout(ConnectionInfo& record, int ms);
    void storeHello(int requestedId, int players, int hostKey, const QString& password);
    qint64 nowMs() const { return clock_->nowMs(); }

    // Stored by connectWithHello for a connection that is still coming up.
    int requestedId_ = -1;
    int localPlayers_ = -1;
    int helloHostKey_ = -1;
    QString helloPassword_;

protected Q_SLOTS:
    virtual void processConnected(int connId);
    virtual void processMessage(int id, const QHostAddress& address, int port,
                                const ConnectionMessage& message) = 0;
    void processContent(int id, const ConnectionMessage& message);
    virtual void processSocketError(int connId, QAbstractSocket::SocketError error) = 0;
    void updatePings();
    void sendKeepAlive();
    void forceDisconnect();
    void processTimeout(int connId);
    void resendMessage(int connId);

private:
    using Records = std::map<int, ConnectionInfo*>;
    using Handler = void (ConnectionAbstract::*)(ConnectionInfo&, const ConnectionMessage&);

    static QList<int> idsOf(const Records& records);
    static const std::array<Handler, ConnectionMessage::kCodeCount>& handlers();
    Records& table(Table which);

    void sendToStates(std::initializer_list<ConnectionState> states, bool reliable,
                      MessageCode code, const QString& content);
    void setStateWhere(ConnectionState from, ConnectionState to);
    void sendToMaster(bool reliable, MessageCode code, const QString& content);
    void startRepeating(ConnectionInfo& record, const ConnectionMessage& message, bool repeat);
    // deliver, counting the bytes.
    void put(ConnectionInfo& record, const ConnectionMessage& message);
    // Stops the repetition if the record is waiting for an answer to one of
    // the codes given; false when it was not.
    bool takeAnswer(ConnectionInfo& record, std::initializer_list<MessageCode> askedWith);
    void serveResend(ConnectionInfo& record, int number);
    void refuseHello(int connId, int code);
    int lowestFreeClientId() const;
    bool hostPresent() const;

    // One handler per code.
    void processHello(ConnectionInfo& record, const ConnectionMessage& message);
    void processHelloReply(ConnectionInfo& record, const ConnectionMessage& message);
    void processPlayers(ConnectionInfo& record, const ConnectionMessage& message);
    void processPlayerList(ConnectionInfo& record, const ConnectionMessage& message);
    void processClientChat(ConnectionInfo& record, const ConnectionMessage& message);
    void processServerChat(ConnectionInfo& record, const ConnectionMessage& message);
    void processPingList(ConnectionInfo& record, const ConnectionMessage& message);
    void processPong(ConnectionInfo& record, const ConnectionMessage& message);
    void processStartRequest(ConnectionInfo& record, const ConnectionMessage& message);
    void processGameStart(ConnectionInfo& record, const ConnectionMessage& message);
    void processRestartRequest(ConnectionInfo& record, const ConnectionMessage& message);
    void processGameRestart(ConnectionInfo& record, const ConnectionMessage& message);
    void processGameState(ConnectionInfo& record, const ConnectionMessage& message);
    void processInput(ConnectionInfo& record, const ConnectionMessage& message);
    void processNewBlock(ConnectionInfo& record, const ConnectionMessage& message);
    void processMoveBlocks(ConnectionInfo& record, const ConnectionMessage& message);
    void processMergeBlocks(ConnectionInfo& record, const ConnectionMessage& message);
    void processPauseRequest(ConnectionInfo& record, const ConnectionMessage& message);
    void processPause(ConnectionInfo& record, const ConnectionMessage& message);
    void processGameOver(ConnectionInfo& record, const ConnectionMessage& message);
    void processDisconnectRequest(ConnectionInfo& record, const ConnectionMessage& message);
    void processPlayerDisconnect(ConnectionInfo& record, const ConnectionMessage& message);
    void processKickRequest(ConnectionInfo& record, const ConnectionMessage& message);
    void processKick(ConnectionInfo& record, const ConnectionMessage& message);
    void processShutdown(ConnectionInfo& record, const ConnectionMessage& message);
    void processResendRequest(ConnectionInfo& record, const ConnectionMessage& message);
    void processMasterAnswer(ConnectionInfo& record, const ConnectionMessage& message);
    void processMasterList(ConnectionInfo& record, const ConnectionMessage& message);
    void processMasterTest(ConnectionInfo& record, const ConnectionMessage& message);
    void processInfoRequest(ConnectionInfo& record, const ConnectionMessage& message);
    void processServerInfo(ConnectionInfo& record, const ConnectionMessage& message);
    // Codes this side takes from the framing but has nothing to do with.
    void processIgnored(ConnectionInfo& record, const ConnectionMessage& message);

    NetworkTimings timings_;
    const Clock* clock_;
    std::function<QTime()> timeOfDay_;
    LossSimulation loss_;
    bool firstClientIsHost_ = false;
    std::function<int()> hostIdSource_;
    std::function<bool(int, const QHostAddress&)> clientIdCheck_;

    int nextConnId_ = 0;
    int playerCount_ = 0;
    int hostConnId_ = -1;
    Records established_;
    Records pending_;
    Records queries_;
    QTimer pingTimer_;
    QTimer keepAliveTimer_;
    int quietMs_ = 0;
    QTimer disconnectTimer_;
    QStringList serverList_;
    QHash<int, QString> queryAddresses_;
    std::map<int, qint64> bytesSent_;
    std::map<int, qint64> resendRequests_;
};
