#pragma once

#include <QHostAddress>
#include <QMetaType>
#include <QObject>
#include <QString>

enum class MapProtocol { Tcp, Udp };

// Forward externalPort of the router (a wish; the router may give another)
// to internalPort of this host for lifetimeSeconds.
struct MapRequest {
    MapProtocol protocol = MapProtocol::Tcp;
    int internalPort = 0;
    int externalPort = 0;
    int lifetimeSeconds = 0;
};

struct MapAnswer {
    MapProtocol protocol = MapProtocol::Tcp;
    bool granted = false;
    bool portTaken = false;  // refused because someone else has that external port
    int externalPort = -1;
    int lifetimeSeconds = 0;  // 0: until removed
    QHostAddress publicAddress;
    QString reason;  // why not, for the log
};

Q_DECLARE_METATYPE(MapAnswer)

// One way of asking a router for a port: UPnP IGD, or PCP with NAT-PMP.
// Requests and releases are carried out in the order given; every request
// gets exactly one answered(). Nothing here blocks the caller's thread.
class PortMapMethod : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // What the lobby calls it; may change once the router has answered.
    virtual QString name() const = 0;
    virtual void request(const MapRequest& request) = 0;
    // Removes a mapping granted before; no answer.
    virtual void release(MapProtocol protocol, int internalPort, int externalPort) = 0;
    // Requests or releases still on their way.
    virtual bool busy() const = 0;

Q_SIGNALS:
    void answered(MapAnswer answer);
    // The last request or release is done.
    void idle();
};

const char* protocolName(MapProtocol protocol);
