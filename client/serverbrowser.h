#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

#include "network/connectioninterface.h"
#include "network/endpoint.h"
#include "network/hostlookup.h"
#include "network/lanscanner.h"
#include "network/masterserversettings.h"
#include "network/serverdata.h"

// The server list: the connection to the master server and the probes (a
// child), the list request and each listed server's answer as it comes in,
// the games of the local networks (LanScanner, asked with every list request
// and again every few seconds while the list is shown), and the master
// server's reachability for a game being hosted. A master server given by
// name is looked up on first use, without blocking.
//
// A join probes its server through the browser as well: its question goes
// out on the same connection as the list's and its answer comes on the same
// signal, so only the browser can tell a list entry from the join's answer.
// The probe ends with its server's answer, with the report that this server
// is unreachable, or after the probe's time-out, whichever comes first;
// answers and reports about other servers (an earlier probe's) do not count.
// An error on the connection is the master server's: it answers the check of
// a hosted game, else the list request.
class ServerBrowser : public QObject {
    Q_OBJECT

public:
    // Why a join by invite code found no game to probe.
    // Unreachable: the master server could not reach the game either, and no
    // way in answered.
    enum class InviteFailure { NoMaster, MasterSilent, Unknown, Unreachable };

    ServerBrowser(MasterConnection* master, const MasterserverSettings& where,
                  QObject* parent = nullptr);
    ~ServerBrowser() override;

    // Whether there is a master server to ask at all (its name may still have
    // to be looked up).
    bool hasMaster() const { return where_.isSet() || !where_.addressText.trimmed().isEmpty(); }
    void setHostLookup(HostLookup lookup) { lookup_ = std::move(lookup); }
    LanScanner& lan() { return *lan_; }
    // How often the local networks are asked while the list is shown.
    void setLanInterval(int ms) { lanTimer_.setInterval(ms); }
    // How long a join waits for its probe at most.
    void setProbeTimeout(int ms) { probeTimeoutMs_ = ms; }
    // The list is on screen (rounds repeat) or not (they stop).
    void setListShown(bool shown);
    bool probing() const { return probe_.has_value() || !finding_.isEmpty(); }

    // Asks the master server whether it is there ("CTS"), for a game being
    // hosted: masterChecked follows. Only with a master.
    void checkMaster();
    // Asks one game server about itself ("CIN") before a join: probeAnswered
    // or probeFailed follows, unless cancelled.
    void probe(const QHostAddress& address, int port);
    // A join by invite code: asks the master server where its game is
    // (inviteFound, or inviteFailed), then probes it there as probe() does,
    // where only the holder of the code can answer.
    void probeInvite(const QString& code);
    // The way in that answered could not be joined after all (a punched
    // stream that did not come through): probes the next one. False when
    // there is none.
    bool tryNextWay();
    bool hasUntriedWay() const { return !untried_.ways.isEmpty(); }
    void cancelProbe();
    // Leaves the master server at once (the program ends).
    void close();

public Q_SLOTS:
    // The list from the master server ("CLS"); resultMasterserver says how it
    // goes and newServer brings each server that answers its probe, and each
    // game of the local networks.
    void getServerlist();

Q_SIGNALS:
    void newServer(ServerData server);
    void resultMasterserver(MasterserverResult result);
    void masterChecked(bool reached);
    void probeAnswered(ServerData server);
    void probeFailed();
    // The way in to be probed next: the stream's and the datagrams' endpoints
    // differ when it goes through the master server's relay or is punched.
    // localPort: where a punched way is to be joined from (0: anywhere).
    void inviteFound(JoinWay way, int localPort);
    void inviteFailed(ServerBrowser::InviteFailure failure);
    // A repeated round of questions to the local networks begins: what did
    // not answer the last one is gone.
    void lanRoundBegins();

private:
    struct Target {
        QHostAddress address;
        int port = 0;
    };

    void open();
    // Runs then once the master server's address is known; a name that does
    // not resolve answers as a master server that does not answer.
    void withMaster(std::function<void()> then);
    void masterFailed();
    void processNewServer(int connId, ServerData server);
    void processServerUnreachable(int connId, const QString& address, int port);
    bool isProbed(const QString& address, int port) const;
    void failProbe();
    void processMasterReached(int connId);
    void processInvite(const PayloadCodec::InviteAnswer& answer);
    void probeNextEndpoint();
    void processConnectionError(int connId, ConnectionInterface::ConnectionError error);

    MasterConnection* master_;
    MasterserverSettings where_;
    bool connected_ = false;
    bool checking_ = false;  // a hosted game waits for the master's answer
    bool listing_ = false;   // the list was asked for since the last join or host
    std::optional<Target> probe_;
    QString finding_;  // the invite code asked of the master server
    struct Invited {
        QString code;
        QList<JoinWay> ways;       // still to try
        bool unreachable = false;  // the master server's verdict
        int localPort = 0;         // where the lookup left from
        int roundTripMs = 0;       // the lookup's, which times a punched way's probe
    };
    Invited invited_;  // the code's game, while its ways in are tried
    Invited untried_;  // after a punched way answered: the ways behind it
    HostLookup lookup_ = systemHostLookup();
    bool resolving_ = false;
    std::function<void()> afterLookup_;
    LanScanner* lan_;  // child
    QTimer lanTimer_;
    QTimer probeTimer_;
    int probeTimeoutMs_;
    QElapsedTimer askedMs_;  // since the last lookup was asked
    // A punched way's probe waits this long beyond four round trips of the lookup.
    static constexpr int kPunchSlackMs = 1000;
};
