// The master server's registry of announced servers and its per-address rate limit.
#include <QTest>

#include "masterregistry.h"
#include "ratelimiter.h"

namespace {

const QHostAddress kHostA(QStringLiteral("10.0.0.1"));
const QHostAddress kHostB(QStringLiteral("10.0.0.2"));
const QString kVersion = QStringLiteral("Beta 0.92");

}  // namespace

class TestMasterRegistry : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void announcementsAddAndRefresh() {
        MasterRegistry r;
        using R = MasterRegistry::Result;
        QCOMPARE(r.announce(kHostA, 27403, kVersion, true, QStringLiteral("10:00:00")), R::Added);
        QCOMPARE(r.announce(kHostA, 27404, kVersion, false, QStringLiteral("10:00:00")), R::Added);
        QCOMPARE(r.size(), 2);
        // A later announcement refreshes and takes the new ranked flag; a repeat
        // or an older one (a replay) changes nothing.
        QCOMPARE(r.announce(kHostA, 27403, kVersion, false, QStringLiteral("10:01:00")),
                 R::Refreshed);
        QVERIFY(!r.find(kHostA, 27403)->ranked());
        QCOMPARE(r.announce(kHostA, 27403, kVersion, true, QStringLiteral("10:01:00")),
                 R::Unchanged);
        QCOMPARE(r.announce(kHostA, 27403, kVersion, true, QStringLiteral("09:00:00")),
                 R::Unchanged);
        QVERIFY(!r.find(kHostA, 27403)->ranked());
        // Just after midnight the time of day starts again.
        QCOMPARE(r.announce(kHostA, 27404, kVersion, false, QStringLiteral("23:59:30")),
                 R::Refreshed);
        QCOMPARE(r.announce(kHostA, 27404, kVersion, false, QStringLiteral("00:00:30")),
                 R::Refreshed);
        QCOMPARE(r.find(kHostA, 27404)->time(), QTime(0, 0, 30));
        // Mapped IPv4 is the same host; bad ports, bad times and IPv6 are refused.
        QCOMPARE(r.announce(QHostAddress(QStringLiteral("::ffff:10.0.0.1")), 27403, kVersion, false,
                            QStringLiteral("10:02:00")),
                 R::Refreshed);
        QCOMPARE(r.announce(kHostA, 0, kVersion, false, QStringLiteral("10:00:00")), R::Refused);
        QCOMPARE(r.announce(kHostA, 70000, kVersion, false, QStringLiteral("10:00:00")),
                 R::Refused);
        QCOMPARE(r.announce(kHostA, 1, kVersion, false, QStringLiteral("25:00:00")), R::Refused);
        QCOMPARE(r.announce(QHostAddress(QStringLiteral("2001:db8::1")), 1, kVersion, false,
                            QStringLiteral("10:00:00")),
                 R::Refused);
        QCOMPARE(r.size(), 2);
    }

    // A server that stops announcing is gone after the fourth sweep; one that
    // keeps announcing once per sweep stays, however long it runs.
    void sweepsExpireSilentServers() {
        MasterRegistry r;
        r.announce(kHostA, 1000, kVersion, false, QStringLiteral("08:00:00"));
        r.announce(kHostB, 1000, kVersion, false, QStringLiteral("08:00:00"));
        QTime t(8, 0, 0);
        for (int minute = 1; minute <= 3; ++minute) {
            QVERIFY(r.sweep().isEmpty());
            t = t.addSecs(60);
            r.announce(kHostB, 1000, kVersion, false, t.toString(Qt::ISODate));
        }
        QCOMPARE(r.sweep(), QStringList({QStringLiteral("10.0.0.1:1000")}));
        for (int minute = 0; minute < 50; ++minute) {
            t = t.addSecs(60);
            r.announce(kHostB, 1000, kVersion, false, t.toString(Qt::ISODate));
            QVERIFY(r.sweep().isEmpty());
        }
        QCOMPARE(r.size(), 1);
        // Many refreshes in a row do not buy a longer life than a fresh entry.
        for (int s = 1; s < 30; ++s) {
            r.announce(kHostB, 1000, kVersion, false, t.addSecs(s).toString(Qt::ISODate));
        }
        for (int sweep = 0; sweep < 3; ++sweep) {
            QVERIFY(r.sweep().isEmpty());
        }
        QCOMPARE(r.sweep().size(), 1);
        QCOMPARE(r.size(), 0);
    }

    void withdrawAndLimits() {
        MasterRegistry r({/*maxServers*/ 5, /*maxServersPerAddress*/ 3});
        using R = MasterRegistry::Result;
        for (int port = 1; port <= 3; ++port) {
            QCOMPARE(r.announce(kHostA, port, kVersion, false, QStringLiteral("10:00:00")),
                     R::Added);
        }
        QCOMPARE(r.announce(kHostA, 4, kVersion, false, QStringLiteral("10:00:00")), R::Refused);
        QCOMPARE(r.withdraw(kHostA, 2), R::Removed);
        QCOMPARE(r.withdraw(kHostA, 2), R::Unchanged);
        QCOMPARE(r.withdraw(kHostB, 1), R::Unchanged);
        QCOMPARE(r.announce(kHostA, 4, kVersion, false, QStringLiteral("10:00:00")), R::Added);
        QCOMPARE(r.announce(kHostB, 1, kVersion, false, QStringLiteral("10:00:00")), R::Added);
        QCOMPARE(r.announce(kHostB, 2, kVersion, false, QStringLiteral("10:00:00")), R::Added);
        QCOMPARE(r.announce(kHostB, 3, kVersion, false, QStringLiteral("10:00:00")), R::Refused);
        QCOMPARE(r.size(), 5);
        QVERIFY(r.find(kHostA, 4));
        QVERIFY(r.find(kHostA, 3));
        QVERIFY(!r.find(kHostA, 2));
    }

    void listsGoRoundEveryServer() {
        MasterRegistry r;
        QVERIFY(r.list(10).isEmpty());
        for (int port = 1; port <= 7; ++port) {
            r.announce(kHostA, port, kVersion, false, QStringLiteral("10:00:00"));
        }
        QSet<QString> seen;
        for (int call = 0; call < 3; ++call) {
            const QStringList part = r.list(3);
            QCOMPARE(part.size(), 3);
            for (const QString& e : part) {
                QVERIFY(e.startsWith(QStringLiteral("10.0.0.1:")));
                seen.insert(e);
            }
        }
        QCOMPARE(seen.size(), 7);
        QCOMPARE(r.list(100).size(), 7);
        QVERIFY(r.list(0).isEmpty());
    }

    void rateLimitPerAddress() {
        RateLimiter limiter(3, 1000, 2);
        qint64 now = 0;
        for (int i = 0; i < 3; ++i) {
            QVERIFY(limiter.allow(kHostA, now));
        }
        QVERIFY(!limiter.allow(kHostA, now));
        QVERIFY(limiter.allow(kHostB, now));  // another address has its own bucket
        now += 999;
        QVERIFY(!limiter.allow(kHostA, now));
        now += 1;
        QVERIFY(limiter.allow(kHostA, now));
        QVERIFY(!limiter.allow(kHostA, now));
        // The table is full (two addresses); a third is refused until one is idle.
        const QHostAddress third(QStringLiteral("10.0.0.3"));
        QVERIFY(!limiter.allow(third, now));
        now += 3000;
        QVERIFY(limiter.allow(third, now));
        QVERIFY(limiter.tracked() <= 2);
    }
};

QTEST_GUILESS_MAIN(TestMasterRegistry)
#include "test_masterregistry.moc"
