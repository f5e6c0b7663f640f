#pragma once

#include <QStringList>
#include <functional>
#include <memory>

#include "portmap/portmapper.h"

// A router that answers as its script says, on the next turn of the event
// loop, or not at all (the script gives nothing). Every request and release
// goes into a log shared by all fakes of a test ("UPnP ask TCP 27403",
// "UPnP release UDP 40000").
class FakePortMapMethod : public PortMapMethod {
    Q_OBJECT

public:
    using Script = std::function<std::optional<MapAnswer>(const MapRequest&)>;

    FakePortMapMethod(QString name, Script script, std::shared_ptr<QStringList> log);

    QString name() const override { return name_; }
    void request(const MapRequest& request) override;
    void release(MapProtocol protocol, int internalPort, int externalPort) override;
    bool busy() const override { return pending_ > 0; }

    // Answers the oldest request the script left unanswered.
    void answerLate(const MapAnswer& answer);

    // A factory for PortMapper that makes one such fake; created() sees it.
    static PortMapper::MethodFactory factory(const QString& name, Script script,
                                             std::shared_ptr<QStringList> log,
                                             FakePortMapMethod** created = nullptr);
    // Grants every request with this lifetime, at the port asked for unless given one.
    static Script grantAll(int lifetimeSeconds = 3600,
                           const QHostAddress& address = QHostAddress(QStringLiteral("11.22.33.1")),
                           int externalPort = -1);
    static Script refuseAll();

private:
    QString name_;
    Script script_;
    std::shared_ptr<QStringList> log_;
    int pending_ = 0;
};
