#pragma once

#include <QThread>
#include <memory>

#include "portmap/portmapmethod.h"
#include "portmap/portmapping.h"

// Asks a UPnP Internet Gateway Device through libminiupnpc. The library's
// calls block (SSDP discovery waits for answers, every SOAP call is an HTTP
// round trip), so they run one after another in a worker thread of this
// method's own; the answers come back as queued signals. Writing SSDP, the
// device description and SOAP over Qt's sockets instead would put a second
// XML and HTTP client into the game for one feature, where the library
// already knows the quirks of real routers.
class UpnpMethod : public PortMapMethod {
    Q_OBJECT

public:
    explicit UpnpMethod(const PortMapTimings& timings, QObject* parent = nullptr);
    // Removes what the worker holds (waiting for the router, a LAN round trip
    // per mapping) and ends the thread.
    ~UpnpMethod() override;

    QString name() const override { return QStringLiteral("UPnP IGD"); }
    void request(const MapRequest& request) override;
    void release(MapProtocol protocol, int internalPort, int externalPort) override;
    bool busy() const override { return pending_ > 0; }

    class Worker;

private:
    void processDone(const MapAnswer* answer);

    int pending_ = 0;
    QThread thread_;
    std::unique_ptr<Worker> worker_;
};
