#include "upnpmethod.h"

#include <QLoggingCategory>
#include <set>

#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>
#include <miniupnpc/upnperrors.h>

Q_LOGGING_CATEGORY(lcUpnp, "quadrell.portmap.upnp", QtWarningMsg)

namespace {

constexpr int kConflictInMappingEntry = 718;
constexpr int kOnlyPermanentLeases = 725;
constexpr char kDescription[] = "Quadrell";

QByteArray number(int value) {
    return QByteArray::number(value);
}

}  // namespace

// Lives in the method's thread; every call blocks that thread only.
class UpnpMethod::Worker : public QObject {
    Q_OBJECT

public:
    explicit Worker(const PortMapTimings& timings) : timings_(timings) {}
    ~Worker() override {
        if (found_) {
            FreeUPNPUrls(&urls_);
        }
    }

    void add(const MapRequest& r) {
        MapAnswer a;
        a.protocol = r.protocol;
        if (!discover()) {
            a.reason = QStringLiteral("no UPnP router answered");
            Q_EMIT done(a);
            return;
        }
        const char* proto = protocolName(r.protocol);
        QByteArray lease = number(r.lifetimeSeconds);
        int external = r.externalPort;
        int rc = addMapping(external, r.internalPort, proto, lease);
        if (rc == kOnlyPermanentLeases) {
            lease = "0";
            rc = addMapping(external, r.internalPort, proto, lease);
        }
        if (rc == kConflictInMappingEntry && version2()) {
            // The second version of the device may pick a free port itself.
            char reserved[6] = {};
            rc = UPNP_AddAnyPortMapping(urls_.controlURL, data_.first.servicetype,
                                        number(external).constData(),
                                        number(r.internalPort).constData(), lanAddress_,
                                        kDescription, proto, nullptr, lease.constData(), reserved);
            external = rc == UPNPCOMMAND_SUCCESS ? atoi(reserved) : external;
        }
        if (rc != UPNPCOMMAND_SUCCESS || external <= 0) {
            a.portTaken = rc == kConflictInMappingEntry;
            a.reason = QStringLiteral("UPnP error %1 (%2)").arg(rc).arg(strupnperror(rc));
            Q_EMIT done(a);
            return;
        }
        held_.insert({r.protocol, external});
        a.granted = true;
        a.externalPort = external;
        a.lifetimeSeconds = lease.toInt();
        a.publicAddress = publicAddress_;
        Q_EMIT done(a);
    }

    void remove(MapProtocol protocol, int external) {
        held_.erase({protocol, external});
        const int rc =
            UPNP_DeletePortMapping(urls_.controlURL, data_.first.servicetype,
                                   number(external).constData(), protocolName(protocol), nullptr);
        qCDebug(lcUpnp) << "removed" << protocolName(protocol) << external << "result" << rc;
        Q_EMIT removed();
    }

    void removeAll() {
        while (!held_.empty()) {
            const auto [protocol, external] = *held_.begin();
            remove(protocol, external);
        }
    }

Q_SIGNALS:
    void done(MapAnswer answer);
    void removed();

private:
    bool discover() {
        if (found_) {
            return true;
        }
        // All kinds in one round: searched one after another, each would wait
        // the whole delay when there is no router.
        static const char* const kinds[] = {
            "urn:schemas-upnp-org:device:InternetGatewayDevice:2",
            "urn:schemas-upnp-org:device:InternetGatewayDevice:1",
            "urn:schemas-upnp-org:service:WANIPConnection:2",
            "urn:schemas-upnp-org:service:WANIPConnection:1",
            "urn:schemas-upnp-org:service:WANPPPConnection:1",
            nullptr,
        };
        int error = 0;
        UPNPDev* devices = upnpDiscoverDevices(kinds, timings_.upnpDiscoveryMs, nullptr, nullptr,
                                               UPNP_LOCAL_PORT_ANY, 0, 2, &error, 1);
        const int igd =
            devices ? UPNP_GetValidIGD(devices, &urls_, &data_, lanAddress_, sizeof lanAddress_)
                    : 0;
        freeUPNPDevlist(devices);
        if (igd != 0 && igd != 1) {
            FreeUPNPUrls(&urls_);  // a device, but no connected gateway
        }
        found_ = igd == 1;
        qCDebug(lcUpnp) << "discovery:" << (found_ ? urls_.controlURL : "no gateway") << error;
        if (found_) {
            char address[40] = {};
            if (UPNP_GetExternalIPAddress(urls_.controlURL, data_.first.servicetype, address) ==
                UPNPCOMMAND_SUCCESS) {
                publicAddress_ = QHostAddress(QString::fromLatin1(address));
            }
        }
        return found_;
    }

    int addMapping(int external, int internal, const char* proto, const QByteArray& lease) {
        return UPNP_AddPortMapping(urls_.controlURL, data_.first.servicetype,
                                   number(external).constData(), number(internal).constData(),
                                   lanAddress_, kDescription, proto, nullptr, lease.constData());
    }

    bool version2() const { return QByteArray(data_.first.servicetype).endsWith(":2"); }

    PortMapTimings timings_;
    bool found_ = false;
    UPNPUrls urls_ = {};
    IGDdatas data_ = {};
    char lanAddress_[64] = {};
    QHostAddress publicAddress_;
    std::set<std::pair<MapProtocol, int>> held_;
};

UpnpMethod::UpnpMethod(const PortMapTimings& timings, QObject* parent)
    : PortMapMethod(parent), worker_(std::make_unique<Worker>(timings)) {
    worker_->moveToThread(&thread_);
    connect(worker_.get(), &Worker::done, this, [this](const MapAnswer& a) { processDone(&a); });
    connect(worker_.get(), &Worker::removed, this, [this] { processDone(nullptr); });
    thread_.setObjectName(QStringLiteral("upnp"));
    thread_.start();
}

UpnpMethod::~UpnpMethod() {
    // Whatever is still queued runs first; then nothing of ours stays on the router.
    QMetaObject::invokeMethod(
        worker_.get(), [w = worker_.get()] { w->removeAll(); }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

void UpnpMethod::request(const MapRequest& request) {
    ++pending_;
    QMetaObject::invokeMethod(worker_.get(), [w = worker_.get(), request] { w->add(request); });
}

void UpnpMethod::release(MapProtocol protocol, int, int externalPort) {
    ++pending_;
    QMetaObject::invokeMethod(worker_.get(), [w = worker_.get(), protocol, externalPort] {
        w->remove(protocol, externalPort);
    });
}

void UpnpMethod::processDone(const MapAnswer* answer) {
    --pending_;
    if (answer) {
        Q_EMIT answered(*answer);
    }
    if (pending_ == 0) {
        Q_EMIT idle();
    }
}

#include "upnpmethod.moc"
