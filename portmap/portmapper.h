#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "portmap/portmapmethod.h"
#include "portmap/portmapping.h"

// Opens one game port on the router for TCP and UDP, keeps it open and
// removes it again. The ways of asking are tried in turn (UPnP IGD first,
// then PCP with NAT-PMP); one that says no, or has not answered within a few
// seconds, is passed over, and whatever it grants late is given back.
//
// The same external port is asked for first; when the router has it taken or
// gives another, that one is taken, as long as TCP and UDP get the same one
// (clients reach both under one port). The grant is renewed at half its
// lifetime; a renewal that fails starts over from the first way.
//
// Lives in its owner's thread and never blocks it. changed() reports every
// new outcome; stop() gives the port back and says stopped() once the router
// has answered or releaseTimeoutMs has passed.
class PortMapper : public QObject {
    Q_OBJECT

public:
    using MethodFactory = std::function<std::unique_ptr<PortMapMethod>()>;
    // Another external port to try when the wanted one is taken.
    using PortSource = std::function<int()>;

    PortMapper(int localPort, std::vector<MethodFactory> methods, const PortMapTimings& timings,
               PortSource randomPort, QObject* parent = nullptr);
    ~PortMapper() override;

    // The methods the game uses: UPnP IGD, then PCP/NAT-PMP to the default gateway.
    static std::vector<MethodFactory> systemMethods(const PortMapTimings& timings);
    // A port from the dynamic range, drawn from the system's random source.
    static int drawPort();

    void start();
    void stop();
    const PortMapping& mapping() const { return mapping_; }

Q_SIGNALS:
    void changed(PortMapping mapping);
    void stopped();

private:
    void tryNextMethod();
    void askPair(int externalPort);
    void ask(MapProtocol protocol, int externalPort);
    void processAnswer(PortMapMethod* method, const MapAnswer& answer);
    void processGranted(const MapAnswer& answer);
    void retry(int externalPort, const QString& reason);
    void passOver(const QString& reason);
    void releaseHeld();
    void retire(std::unique_ptr<PortMapMethod> method);
    void processIdle(PortMapMethod* method);
    void renew();
    void publish(const PortMapping& mapping);
    void finishStop();

    int localPort_;
    std::vector<MethodFactory> factories_;
    PortMapTimings timings_;
    PortSource randomPort_;
    PortMapping mapping_;

    std::unique_ptr<PortMapMethod> current_;
    std::vector<std::unique_ptr<PortMapMethod>> retired_;  // busy with what they still got
    size_t next_ = 0;
    int attempts_ = 0;
    int tcpPort_ = -1;  // granted by the current method
    int udpPort_ = -1;
    int lifetimeSeconds_ = 0;
    QHostAddress publicAddress_;
    bool stopping_ = false;
    bool stopped_ = false;
    QTimer deadline_;
    QTimer renewal_;
    QTimer releaseDeadline_;
};
