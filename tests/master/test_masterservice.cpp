// The master server over real UDP: announcements with their digest, sign-off,
// bounded and rate-limited answers, and garbage from strangers.
#include <QSignalSpy>
#include <QTest>

#include "masterservice.h"
#include "network/payloadcodec.h"
#include "tests/network/nettestsupport.h"

using nettest::kLocal;
using nettest::RawPeer;

namespace {

const QString kVersion = QStringLiteral("Beta 0.92");

ConnectionMessage announcement(MessageCode code, int port, const QString& time) {
    return {code, PayloadCodec::buildAnnouncement(kVersion, port, true, time)};
}

struct Master {
    explicit Master(MasterService::Config config = {}) : service(withLocalPort(config)) {
        if (!service.start()) {
            qFatal("cannot start the master service");
        }
    }
    static MasterService::Config withLocalPort(MasterService::Config config) {
        config.bindAddress = kLocal;
        config.port = 0;
        config.sweepIntervalMs = 3600000;  // nothing expires during a test
        return config;
    }
    QStringList list(RawPeer& client, int waitMs = 5000) {
        const int before = client.count(QStringLiteral("MLS"));
        client.send(ConnectionMessage(MessageCode::CLS, QStringLiteral("L")), service.port());
        if (!QTest::qWaitFor([&] { return client.count(QStringLiteral("MLS")) > before; },
                             waitMs)) {
            return {QStringLiteral("no answer")};
        }
        return PayloadCodec::parseServerList(client.ofType(QStringLiteral("MLS")).last().content);
    }
    MasterService service;
};

}  // namespace

class TestMasterService : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void announceAndSignOff() {
        Master master;
        RawPeer server;
        RawPeer client;
        QCOMPARE(master.list(client), QStringList());

        server.send(announcement(MessageCode::SON, 27403, QStringLiteral("12:00:00")),
                    master.service.port());
        QTRY_COMPARE(server.count(QStringLiteral("MON")), 1);
        QCOMPARE(master.list(client), QStringList({QStringLiteral("127.0.0.1:27403")}));

        // An announcement signed with another secret gets no answer and no entry.
        ConnectionMessage forged =
            announcement(MessageCode::SON, 27500, QStringLiteral("12:00:00"));
        forged.content.replace(forged.content.size() - 4, 4, QStringLiteral("0000"));
        server.send(forged, master.service.port());
        server.send(announcement(MessageCode::SON, 27403, QStringLiteral("12:01:00")),
                    master.service.port());
        QTRY_COMPARE(server.count(QStringLiteral("MON")), 2);
        QCOMPARE(master.service.registry().size(), 1);

        // Signing off removes it at once and is answered.
        server.send(announcement(MessageCode::SOF, 27403, QStringLiteral("12:05:30")),
                    master.service.port());
        QTRY_COMPARE(server.count(QStringLiteral("MOF")), 1);
        QCOMPARE(master.list(client), QStringList());
    }

    // All test peers share 127.0.0.1, so they share one address's allowance.
    void answersAreBoundedAndRateLimited() {
        MasterService::Config config;
        config.maxListEntries = 5;
        config.listBurst = 2;
        config.listRefillMs = 60000;
        Master master(config);
        RawPeer server;
        for (int port = 1000; port < 1012; ++port) {
            server.send(announcement(MessageCode::SON, port, QStringLiteral("08:00:00")),
                        master.service.port());
        }
        QTRY_COMPARE(master.service.registry().size(), 12);
        RawPeer client;
        const QStringList first = master.list(client);
        const QStringList second = master.list(client);
        QCOMPARE(first.size(), 5);
        QCOMPARE(second.size(), 5);
        QCOMPARE(QSet<QString>(first.begin(), first.end())
                     .intersect(QSet<QString>(second.begin(), second.end()))
                     .size(),
                 0);
        QCOMPARE(master.list(client, 300), QStringList({QStringLiteral("no answer")}));
        for (const ConnectionMessage& m : client.ofType(QStringLiteral("MLS"))) {
            QVERIFY(m.encode().size() < 120);
        }

        config.requestBurst = 3;
        config.requestRefillMs = 60000;
        Master strict(config);
        for (int i = 0; i < 5; ++i) {
            client.send(ConnectionMessage(MessageCode::CTS, QStringLiteral("T")),
                        strict.service.port());
        }
        QTRY_COMPARE(strict.service.counters().limited, qint64(2));
        QCOMPARE(strict.service.counters().answered, qint64(3));
    }

    void survivesGarbage() {
        Master master;
        RawPeer stranger;
        const int port = master.service.port();
        stranger.sendRaw(QByteArray(), port);
        stranger.sendRaw(QByteArray(3000, '\xff'), port);
        stranger.sendRaw("CLS 999999999 N L", port);
        stranger.sendRaw("CLS 4 N", port);
        stranger.sendRaw("XYZ 3 N L", port);
        stranger.sendRaw("SON 2 N ", port);
        stranger.send(ConnectionMessage(MessageCode::CHI, QStringLiteral("-1 1 -1 ")), port);
        stranger.send(
            ConnectionMessage(MessageCode::SON, QStringLiteral("Beta 0.92 x T 99:99:99 d")), port);
        stranger.send(ConnectionMessage(MessageCode::CTS, QStringLiteral("T")), port);
        QTRY_COMPARE(stranger.count(QStringLiteral("MTS")), 1);
        QCOMPARE(stranger.received.size(), 1);
        QCOMPARE(master.service.registry().size(), 0);
        QVERIFY(master.service.counters().rejected >= 2);
    }

    void portInUseIsReported() {
        Master first;
        MasterService::Config config;
        config.bindAddress = kLocal;
        config.port = first.service.port();
        MasterService second(config);
        QVERIFY(!second.start());
        QVERIFY(!second.errorString().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMasterService)
#include "test_masterservice.moc"
