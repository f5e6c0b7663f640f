#pragma once

#include <QHash>
#include <QHostAddress>
#include <QStringList>
#include <QTime>
#include <functional>

#include "network/messagecodes.h"
#include "network/payloadcodec.h"

class ConnectionCore;
class ConnectionInfo;
struct ConnectionMessage;

// The master server link and the probes of game servers.
//
// Announcements ("SON"/"SOF"), the master test ("CTS") and the list request
// ("CLS") go to every pending connection in the lobby state that is no probe
// (the master connection), repeated until answered. A list answer ("MLS")
// starts probes ("CIN") of the listed servers, at most kMaxProbes at a time:
// each probe that ends, answered ("SIN") or not, gives its place to the next
// entry. queryServer probes one server for joining it by address; that probe
// ends in the server's answer or in changedCServerUnreachable, never in an
// error of the connection, which belongs to the master server's link.
class MasterLink {
public:
    static constexpr int kMaxProbes = 3;

    explicit MasterLink(ConnectionCore& core);

    // The time of day written into announcements.
    void setTimeOfDaySource(std::function<QTime()> source) { timeOfDay_ = std::move(source); }

    void sendServerOnline(bool reliable, int port);
    void sendServerOffline(bool reliable, int port);
    void sendMasterTest(bool reliable);
    void requestServerlist(bool reliable);
    // inviteCode: the server was found by that code, and only an answer
    // proven with it counts. localPort: where the probe leaves from (0: any).
    void queryServer(const QHostAddress& address, int port, const QString& inviteCode = {},
                     int localPort = 0);
    void sendRegistration(const PayloadCodec::Registration& registration);
    // Each link asks from its own port and names it, so that the game can
    // be punched open towards where the master server sees that port.
    void findInvite(const QString& code);

    void processAnnouncementAnswer(ConnectionInfo& record, const ConnectionMessage& message);
    void processMasterTest(ConnectionInfo& record, const ConnectionMessage& message);
    void processServerList(ConnectionInfo& record, const ConnectionMessage& message);
    void processServerInfo(ConnectionInfo& record, const ConnectionMessage& message);
    void processRegistrationAnswer(ConnectionInfo& record, const ConnectionMessage& message);
    void processInviteAnswer(ConnectionInfo& record, const ConnectionMessage& message);
    void processJoinerNotice(ConnectionInfo& record, const ConnectionMessage& message);

    // Ends connId if it is a listed server's probe, answered or not, and gives
    // its place to the next listed server. False when it is none.
    bool finishQuery(int connId);
    // Ends connId if it is a probe that went unanswered (repetition given up,
    // socket error, time-out): a listed server is left out without a word,
    // the join's server is reported unreachable. False when it is no probe.
    bool giveUpQuery(int connId);
    // The record of connId is gone.
    void forget(int connId);
    // Connection ids start again: nothing may refer to the old ones.
    void reset();

private:
    // The probe of the server a join is waiting for.
    struct JoinProbe {
        int connId = -1;  // -1: none
        QHostAddress address;
        int port = 0;
        QString inviteCode;  // empty: joined by address
        QString nonce;
    };

    // The links to the master server (one per address family) in the order
    // opened: pending records in the lobby state that are no probe.
    QList<ConnectionInfo*> masterRecords() const;
    void sendToMaster(bool reliable, MessageCode code, const QString& content);
    void sendInfoRequest(int connId, const QString& nonce = {});
    void queryNextServers();
    void reportUnreachable(const QHostAddress& address, int port);

    ConnectionCore& core_;
    std::function<QTime()> timeOfDay_;
    QStringList serverList_;              // entries "address:port" still to probe
    QHash<int, QString> queryAddresses_;  // probe connection id -> its entry
    JoinProbe join_;
    PayloadCodec::InviteQuery invite_;  // the lookup waiting for its answer
};
