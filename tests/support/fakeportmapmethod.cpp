#include "fakeportmapmethod.h"

#include <QTimer>

FakePortMapMethod::FakePortMapMethod(QString name, Script script, std::shared_ptr<QStringList> log)
    : name_(std::move(name)), script_(std::move(script)), log_(std::move(log)) {}

void FakePortMapMethod::request(const MapRequest& r) {
    *log_
        << QStringLiteral("%1 ask %2 %3").arg(name_, protocolName(r.protocol)).arg(r.externalPort);
    ++pending_;
    const std::optional<MapAnswer> answer = script_(r);
    if (!answer) {
        return;
    }
    QTimer::singleShot(0, this, [this, a = *answer] { answerLate(a); });
}

void FakePortMapMethod::answerLate(const MapAnswer& answer) {
    --pending_;
    Q_EMIT answered(answer);
    if (pending_ == 0) {
        Q_EMIT idle();
    }
}

void FakePortMapMethod::release(MapProtocol protocol, int, int externalPort) {
    *log_
        << QStringLiteral("%1 release %2 %3").arg(name_, protocolName(protocol)).arg(externalPort);
    ++pending_;
    QTimer::singleShot(0, this, [this] {
        if (--pending_ == 0) {
            Q_EMIT idle();
        }
    });
}

PortMapper::MethodFactory FakePortMapMethod::factory(const QString& name, Script script,
                                                     std::shared_ptr<QStringList> log,
                                                     FakePortMapMethod** created) {
    return [=]() -> std::unique_ptr<PortMapMethod> {
        auto fake = std::make_unique<FakePortMapMethod>(name, script, log);
        if (created) {
            *created = fake.get();
        }
        return fake;
    };
}

FakePortMapMethod::Script FakePortMapMethod::grantAll(int lifetimeSeconds,
                                                      const QHostAddress& address,
                                                      int externalPort) {
    return [=](const MapRequest& r) -> std::optional<MapAnswer> {
        MapAnswer a;
        a.protocol = r.protocol;
        a.granted = true;
        a.externalPort = externalPort < 0 ? r.externalPort : externalPort;
        a.lifetimeSeconds = lifetimeSeconds;
        a.publicAddress = address;
        return a;
    };
}

FakePortMapMethod::Script FakePortMapMethod::refuseAll() {
    return [](const MapRequest& r) -> std::optional<MapAnswer> {
        MapAnswer a;
        a.protocol = r.protocol;
        a.reason = QStringLiteral("refused");
        return a;
    };
}
