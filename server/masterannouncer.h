#pragma once

#include <QObject>

#include <optional>

#include "network/connectioninterface.h"
#include "network/endpoint.h"
#include "network/masterserversettings.h"

class QTimer;

// Keeps a game server on the master server's list: announces it when it
// starts, at every heartbeat and under a new public port, and takes it off
// when it goes. A lost link is opened again by the next heartbeat.
//
// It also holds the game's invite code: it registers with the master server
// ("SRG") once it has a public port, again every second until a code comes
// and every keepAliveMs after that (which also keeps the way back through
// the router open), and gives the code back when it goes. An unlisted game
// (invite only) has a code but is not announced.
class MasterAnnouncer : public QObject {
    Q_OBJECT

public:
    struct Timings {
        int heartbeatMs = 60000;
        int keepAliveMs = 15000;
        int retryMs = 1000;  // until the first code
    };

    // master may be null, and an unset masterServer means no master server:
    // the announcer then stays silent. It adopts master as its child.
    // publicPort: -1 the game port; 0 none yet, held back until
    // setPublicPort() gives one.
    MasterAnnouncer(MasterConnection* master, const MasterserverSettings& masterServer,
                    int gamePort, int publicPort, bool listed, const Timings& timings,
                    QObject* parent = nullptr);
    // Takes the server off the list and gives the code back.
    ~MasterAnnouncer() override;

    bool active() const { return active_; }
    bool registered() const { return registered_; }
    int publicPort() const { return publicPort_ < 0 ? gamePort_ : publicPort_; }
    // The port the master server hears from now on: the router's external
    // port once it forwards one. The first port given starts the
    // announcements; a change takes the old port off the list.
    void setPublicPort(int port);
    // The code and reach the master server last reported; empty code: none yet.
    const PayloadCodec::RegistrationAnswer& invite() const { return invite_; }
    // The addresses the game holds at the master server's relay
    // ("address:port"), told with every registration; empty: none.
    void setRelayed(const QString& stream, const QString& datagram);
    // Where the master server is heard in the family of address; none
    // when it is not there.
    std::optional<Endpoint> masterFor(const QHostAddress& address) const;

public Q_SLOTS:
    void sendHeartbeat();

Q_SIGNALS:
    // The master server gave a code, or said something new of the game's reach.
    void changedInvite(PayloadCodec::RegistrationAnswer invite);
    // The master server announces a joiner ("MPN"), seen at endpoint: the
    // game opens towards it, and lets it in at its relay.
    void joinerComing(QString nonce, Endpoint endpoint);

private:
    // Keep-alives the master server may leave unanswered before the game
    // asks for a new code.
    static constexpr int kUnansweredKeepAlives = 3;

    void ensureRegistered();
    void sendRegistration();
    void processRegistration(const PayloadCodec::RegistrationAnswer& answer);

    MasterConnection* master_;
    MasterserverSettings masterServer_;
    int gamePort_;
    int publicPort_;
    bool listed_;
    Timings timings_;
    bool active_;
    bool registered_ = false;
    bool opened_ = false;  // the links were opened once
    int unanswered_ = 0;   // keep-alives since the last answer with our token
    QTimer* heartbeatTimer_ = nullptr;
    QTimer* registrationTimer_ = nullptr;
    PayloadCodec::RegistrationAnswer invite_;
    QString relayStream_;
    QString relayDatagram_;
    PayloadCodec::RegistrationAnswer heard4_;  // the master server's answer over IPv4
    PayloadCodec::RegistrationAnswer heard6_;  // ... and over IPv6
};
