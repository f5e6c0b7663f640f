#pragma once

#include <QHostAddress>
#include <QTimer>
#include <QUdpSocket>
#include <deque>
#include <map>

#include "portmap/gatewaymessage.h"
#include "portmap/portmapmethod.h"
#include "portmap/portmapping.h"

// Asks the default gateway over PCP, and over NAT-PMP once the gateway says
// it speaks only that. Our own small client on Qt's sockets, in the caller's
// thread: the two protocols are a few fixed-size datagrams each, so nothing
// needs to block, and what the router sends passes one total parser.
//
// One request at a time, repeated with doubling pauses; answers count only
// from the gateway's port 5351 and, for PCP, with our nonce.
class GatewayMethod : public PortMapMethod {
    Q_OBJECT

public:
    // nonce: 12 random bytes that name our mappings to a PCP router.
    GatewayMethod(const QHostAddress& gateway, quint16 port, const QByteArray& nonce,
                  const PortMapTimings& timings, QObject* parent = nullptr);
    // Sends the removal of what it still holds, without waiting for answers.
    ~GatewayMethod() override;

    QString name() const override;
    void request(const MapRequest& request) override;
    void release(MapProtocol protocol, int internalPort, int externalPort) override;
    bool busy() const override { return !jobs_.empty(); }

private:
    struct Job {
        enum class Kind { Map, Release, Address };
        Kind kind = Kind::Map;
        MapRequest request;
    };

    void startNext();
    void send();
    void processDatagrams();
    void processAnswer(const GatewayMessage::Answer& answer);
    bool matches(const GatewayMessage::Answer& answer, const Job& job) const;
    void finishJob(const MapAnswer* answer);
    void processSilence();
    QByteArray datagram(const Job& job);

    QHostAddress gateway_;
    quint16 port_;
    QByteArray nonce_;
    PortMapTimings timings_;
    QUdpSocket socket_;
    QTimer resend_;
    QHostAddress client_;  // our address towards the gateway, which PCP wants to see
    std::deque<Job> jobs_;
    int sends_ = 0;
    int pauseMs_ = 0;
    bool natPmp_ = false;
    bool dispatching_ = false;
    QHostAddress publicAddress_;                       // NAT-PMP tells it only when asked
    std::map<std::pair<MapProtocol, int>, int> held_;  // (protocol, internal) -> external
};
