// The master server: its registry of announced servers, and the service over real UDP (bounded and
// rate-limited answers, garbage and forged announcements from strangers).
#include <QMessageAuthenticationCode>
#include <QTest>

#include "masterregistry.h"
#include "masterservice.h"
#include "network/payloadcodec.h"
#include "tests/network/nettestsupport.h"

using nettest::kLocal;
using nettest::RawPeer;

namespace {

const QString kVersion = QStringLiteral("Beta 0.92");

const QHostAddress kHostA("10.0.0.1");
const QHostAddress kHostB("10.0.0.2");
using R = MasterRegistry::Result;

R announce(MasterRegistry& r, const QHostAddress& host, int port, const QString& time,
           bool ranked = false) {
    return r.announce(host, port, kVersion, ranked, time);
}

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
        const int before = client.count("MLS");
        client.send(ConnectionMessage(MessageCode::CLS, "L"), service.port());
        return QTest::qWaitFor([&] { return client.count("MLS") > before; }, waitMs)
                   ? PayloadCodec::parseServerList(client.ofType("MLS").last().content)
                   : QStringList{"no answer"};
    }
    MasterService service;
};

}  // namespace

class TestMaster : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void registryAnnouncementsLimitsAndSweeps() {
        MasterRegistry r;
        QCOMPARE(announce(r, kHostA, 27403, "10:00:00", true), R::Added);
        QCOMPARE(announce(r, kHostA, 27404, "10:00:00"), R::Added);
        // A later announcement refreshes and takes the new ranked flag; a repeat or an older one (a
        // replay) changes nothing.
        QCOMPARE(announce(r, kHostA, 27403, "10:01:00"), R::Refreshed);
        QVERIFY(!r.find(kHostA, 27403)->ranked());
        QCOMPARE(announce(r, kHostA, 27403, "10:01:00", true), R::Unchanged);
        QCOMPARE(announce(r, kHostA, 27403, "09:00:00", true), R::Unchanged);
        QVERIFY(!r.find(kHostA, 27403)->ranked());
        // Just after midnight the time of day starts again.
        QCOMPARE(announce(r, kHostA, 27404, "23:59:30"), R::Refreshed);
        QCOMPARE(announce(r, kHostA, 27404, "00:00:30"), R::Refreshed);
        QCOMPARE(r.find(kHostA, 27404)->time(), QTime(0, 0, 30));
        // Mapped IPv4 is the same host; bad ports and bad times are refused. IPv6 is
        // listed to those who ask over IPv6, in brackets (which older clients skip).
        QCOMPARE(announce(r, QHostAddress("::ffff:10.0.0.1"), 27403, "10:02:00"), R::Refreshed);
        QCOMPARE(announce(r, kHostA, 0, "10:00:00"), R::Refused);
        QCOMPARE(announce(r, kHostA, 70000, "10:00:00"), R::Refused);
        QCOMPARE(announce(r, kHostA, 1, "25:00:00"), R::Refused);
        QCOMPARE(announce(r, QHostAddress("2001:db8::1"), 1, "10:00:00"), R::Added);
        QCOMPARE(r.list(10, QAbstractSocket::IPv6Protocol), QStringList{"[2001:db8::1]:1"});
        QCOMPARE(r.list(10).size(), 2);
        QCOMPARE(r.size(), 3);

        // Withdrawing, the limits per address and in all, and lists of a bounded length.
        MasterRegistry limited({/*maxServers*/ 5, /*maxServersPerAddress*/ 3});
        QVERIFY(limited.list(10).isEmpty());
        for (int port = 1; port <= 3; ++port) {
            QCOMPARE(announce(limited, kHostA, port, "10:00:00"), R::Added);
        }
        QCOMPARE(announce(limited, kHostA, 4, "10:00:00"), R::Refused);
        QCOMPARE(limited.withdraw(kHostA, 2), R::Removed);
        QCOMPARE(limited.withdraw(kHostA, 2), R::Unchanged);
        QCOMPARE(limited.withdraw(kHostB, 1), R::Unchanged);
        QCOMPARE(announce(limited, kHostA, 4, "10:00:00"), R::Added);
        QCOMPARE(announce(limited, kHostB, 1, "10:00:00"), R::Added);
        QCOMPARE(announce(limited, kHostB, 2, "10:00:00"), R::Added);
        QCOMPARE(announce(limited, kHostB, 3, "10:00:00"), R::Refused);
        QCOMPARE(limited.size(), 5);
        QVERIFY(limited.find(kHostA, 4) && limited.find(kHostA, 3) && !limited.find(kHostA, 2));
        QVERIFY(limited.list(0).isEmpty() && limited.list(100).size() == 5);

        // A server that stops announcing is gone after the fourth sweep; one that keeps announcing
        // once per sweep stays, however long it runs.
        MasterRegistry swept;
        announce(swept, kHostA, 1000, "08:00:00");
        announce(swept, kHostB, 1000, "08:00:00");
        QTime t(8, 0, 0);
        const auto refresh = [&](int seconds) {
            announce(swept, kHostB, 1000, t.addSecs(seconds).toString(Qt::ISODate));
        };
        for (int sweep = 1; sweep <= 54; ++sweep) {
            t = t.addSecs(60);
            refresh(0);
            QCOMPARE(swept.sweep(), sweep == 4 ? QStringList{"10.0.0.1:1000"} : QStringList());
        }
        QCOMPARE(swept.size(), 1);
        // Many refreshes in a row do not buy a longer life than a fresh entry.
        for (int s = 1; s < 30; ++s) {
            refresh(s);
        }
        for (int sweep = 0; sweep < 3; ++sweep) {
            QVERIFY(swept.sweep().isEmpty());
        }
        QCOMPARE(swept.sweep().size(), 1);
        QCOMPARE(swept.size(), 0);
    }

    // Lists go round every server. All test peers share 127.0.0.1, so they share one allowance.
    void answersAreBoundedAndRateLimited() {
        MasterService::Config config;
        config.maxListEntries = 5;
        config.listBurst = 2;
        config.listRefillMs = 60000;
        Master master(config);
        RawPeer server;
        for (int port = 1000; port < 1012; ++port) {
            server.send(announcement(MessageCode::SON, port, "08:00:00"), master.service.port());
        }
        QTRY_COMPARE(server.count("MON"), 12);
        // Signing off is answered.
        server.send(announcement(MessageCode::SOF, 1011, "08:00:30"), master.service.port());
        QTRY_COMPARE(server.count("MOF"), 1);
        RawPeer client;
        const QStringList first = master.list(client);
        const QStringList second = master.list(client);
        QCOMPARE(first.size(), 5);
        QCOMPARE(second.size(), 5);
        for (const QString& entry : first) {
            QVERIFY(!second.contains(entry));
        }
        QCOMPARE(master.list(client, 300), QStringList({"no answer"}));

        config.requestBurst = 3;
        config.requestRefillMs = 60000;
        Master strict(config);
        for (int i = 0; i < 5; ++i) {
            client.send(ConnectionMessage(MessageCode::CTS, "T"), strict.service.port());
        }
        QTRY_COMPARE(strict.service.counters().limited, qint64(2));
        QCOMPARE(strict.service.counters().answered, qint64(3));
    }

    // Codes for games that register, kept through a lost answer and a new
    // address, found by joiners, given back only by their holder.
    void inviteCodesAreGivenKeptAndLookedUp() {
        MasterService::Config config;
        config.reachTimeoutMs = 300;
        config.inviteBurst = 3;
        config.inviteRefillMs = 60000;
        Master master(config);
        const int to = master.service.port();
        RawPeer game;
        const int gamePort = nettest::freePort();  // nobody answers there
        const auto registration = [&](const QString& token, bool online = true) {
            game.send(
                {MessageCode::SRG, PayloadCodec::buildRegistration({gamePort, online, token})}, to);
        };
        const auto lastAnswer = [&] {
            return *PayloadCodec::parseRegistrationAnswer(game.ofType("MRG").last().content);
        };
        registration({});
        QTRY_COMPARE(game.count("MRG"), 1);
        const PayloadCodec::RegistrationAnswer first = lastAnswer();
        QVERIFY(first.address == "127.0.0.1" && first.port == gamePort &&
                first.stream == PayloadCodec::Reach::Unknown);
        registration({});  // the answer was lost: the same code
        QTRY_COMPARE(game.count("MRG"), 2);
        QCOMPARE(lastAnswer().code, first.code);
        // The reach, tried from elsewhere, follows: nobody there.
        QTRY_VERIFY(lastAnswer().stream == PayloadCodec::Reach::No &&
                    lastAnswer().datagram == PayloadCodec::Reach::No);

        RawPeer joiner;
        const QString nonce = "0123456789abcdef";
        const auto lookUp = [&](const QString& code) {
            const int before = joiner.count("MJN");
            joiner.send({MessageCode::CJN, PayloadCodec::buildInviteQuery({code, nonce})}, to);
            return QTest::qWaitFor([&] { return joiner.count("MJN") > before; }, 2000)
                       ? PayloadCodec::parseInviteAnswer(joiner.ofType("MJN").last().content)
                       : std::nullopt;
        };
        const auto found = lookUp(first.code);
        QVERIFY(found && found->found && found->nonce == nonce &&
                found->endpoints == QStringList{QStringLiteral("127.0.0.1:%1").arg(gamePort)} &&
                found->observed == QStringLiteral("127.0.0.1:%1").arg(joiner.port()));
        QVERIFY(!lookUp("WXYZ6789")->found);

        // Another's token gives nothing back; the holder's does.
        registration("fedcba9876543210", false);
        QVERIFY(lookUp(first.code)->found);
        registration(first.token, false);
        QTRY_COMPARE(master.service.invites().size(), 0);
        QVERIFY(!lookUp(first.code));  // past the burst of three lookups
    }

    // A game the probe cannot reach gets credentials for the relay; a joiner
    // is told the relayed way only at the relay's address, and only once the
    // game let it in there, or after the wait.
    void unreachableGamesAreJoinedThroughTheRelay() {
        MasterService::Config config;
        config.reachTimeoutMs = 200;
        config.relay = {QHostAddress("127.0.0.2"), 3478};
        config.relaySecret = "shared secret";
        config.relayTtlSeconds = 3600;
        config.joinWaitMs = 300;
        config.unixTime = [] { return qint64(1700000000); };
        Master master(config);
        const int to = master.service.port();
        RawPeer game;
        const int gamePort = nettest::freePort();
        const auto registration = [&](const QString& token, const QString& relayed = {}) {
            PayloadCodec::Registration r{gamePort, true, token, {}, {}, true};
            if (!relayed.isEmpty()) {
                r.relayStream = relayed + ":50001";
                r.relayDatagram = relayed + ":50002";
            }
            game.send({MessageCode::SRG, PayloadCodec::buildRegistration(r)}, to);
        };
        registration({});
        // A server that cannot take a relay hears the answer it knows, six items.
        RawPeer older;
        older.send(
            {MessageCode::SRG, PayloadCodec::buildRegistration({nettest::freePort(), true, {}})},
            to);
        QTRY_VERIFY(older.count("MRG") >= 2);
        QCOMPARE(older.ofType("MRG").last().content.split(u' ').size(), 6);
        QTRY_VERIFY(game.count("MRG") > 0 &&
                    !PayloadCodec::parseRegistrationAnswer(game.ofType("MRG").last().content)
                         ->relay.isEmpty());
        const auto offer =
            *PayloadCodec::parseRegistrationAnswer(game.ofType("MRG").last().content);
        QCOMPARE(offer.relay, "127.0.0.2:3478");
        QCOMPARE(offer.relayUser, "1700003600:" + offer.code);
        QCOMPARE(offer.relayPassword,
                 QMessageAuthenticationCode::hash(offer.relayUser.toUtf8(), "shared secret",
                                                  QCryptographicHash::Sha1)
                     .toBase64());

        RawPeer joiner;
        const auto lookUp = [&](const QString& nonce) {
            joiner.send({MessageCode::CJN, PayloadCodec::buildInviteQuery({offer.code, nonce})},
                        to);
        };
        registration(offer.token, "5.5.5.5");  // not at our relay: nobody is sent there
        lookUp("0123456789abcdef");
        QTRY_COMPARE(joiner.count("MJN"), 1);
        QCOMPARE(PayloadCodec::parseInviteAnswer(joiner.ofType("MJN").last().content)->endpoints,
                 QStringList{QStringLiteral("127.0.0.1:%1").arg(gamePort)});

        registration(offer.token, "127.0.0.2");
        QTest::qWait(50);
        lookUp("1123456789abcdef");
        QTRY_COMPARE(game.count("MPN"), 1);
        const auto notice = PayloadCodec::parseJoinerNotice(game.ofType("MPN").last().content);
        QVERIFY(notice && notice->nonce == "1123456789abcdef" &&
                notice->endpoint == QStringLiteral("127.0.0.1:%1").arg(joiner.port()));
        // Asked again (the notice or the game's answer may be lost): the
        // game hears it again, and the joiner still gets one answer.
        lookUp("1123456789abcdef");
        QTRY_COMPARE(game.count("MPN"), 2);
        QCOMPARE(joiner.count("MJN"), 1);  // waits for the game
        game.send({MessageCode::SPN, notice->nonce}, to);
        QTRY_COMPARE(joiner.count("MJN"), 2);
        QTest::qWait(50);
        QCOMPARE(joiner.count("MJN"), 2);
        const auto relayed = PayloadCodec::parseInviteAnswer(joiner.ofType("MJN").last().content);
        QCOMPARE(relayed->endpoints.value(0), "127.0.0.2:50001/50002");

        lookUp("2123456789abcdef");  // the game stays silent: the answer comes anyway
        QTRY_COMPARE(game.count("MPN"), 3);
        QTest::qWait(150);
        QCOMPARE(joiner.count("MJN"), 2);
        QTRY_COMPARE(joiner.count("MJN"), 3);

        registration(offer.token);  // the relay lost the game: nobody is sent there
        QTest::qWait(50);
        lookUp("3123456789abcdef");
        QTRY_COMPARE(joiner.count("MJN"), 4);
        QCOMPARE(PayloadCodec::parseInviteAnswer(joiner.ofType("MJN").last().content)->endpoints,
                 QStringList{QStringLiteral("127.0.0.1:%1").arg(gamePort)});
    }

    void unreachableGamesArePunchedWhereRoutersKeepPorts() {
        MasterService::Config config;
        config.reachTimeoutMs = 200;
        config.joinWaitMs = 300;
        Master master(config);
        const int to = master.service.port();
        RawPeer link;
        RawPeer gameSocket;  // its datagram port, which never answers the probe
        link.send({MessageCode::SRG,
                   PayloadCodec::buildRegistration({gameSocket.port(), true, {}, {}, {}, true})},
                  to);
        QTRY_VERIFY(link.count("MRG") >= 2);  // the code, then the probe's verdict
        const auto invite =
            *PayloadCodec::parseRegistrationAnswer(link.ofType("MRG").last().content);
        QCOMPARE(invite.datagram, PayloadCodec::Reach::No);

        RawPeer joiner;
        const auto lookUp = [&](const QString& nonce, int port) {
            joiner.send(
                {MessageCode::CJN, PayloadCodec::buildInviteQuery({invite.code, nonce, port})}, to);
        };
        const auto ways = [&] {
            return PayloadCodec::parseInviteAnswer(joiner.ofType("MJN").last().content)->endpoints;
        };
        const QString plain = QStringLiteral("127.0.0.1:%1").arg(gameSocket.port());
        // The joiner's router did not keep its port: no punch, answered at once.
        lookUp("0123456789abcdef", joiner.port() + 1);
        QTRY_COMPARE(joiner.count("MJN"), 1);
        QCOMPARE(link.count("MPN"), 0);
        QCOMPARE(ways(), QStringList{plain});

        // Kept: the game hears where, and its answer from the game port names the way.
        lookUp("1123456789abcdef", joiner.port());
        QTRY_COMPARE(link.count("MPN"), 1);
        QCOMPARE(PayloadCodec::parseJoinerNotice(link.ofType("MPN").last().content)->endpoint,
                 QStringLiteral("127.0.0.1:%1").arg(joiner.port()));
        QCOMPARE(joiner.count("MJN"), 1);
        gameSocket.send({MessageCode::SPN, "1123456789abcdef 40001"}, to);
        QTRY_COMPARE(joiner.count("MJN"), 2);
        QCOMPARE(ways(),
                 (QStringList{QStringLiteral("127.0.0.1:40001+%1").arg(gameSocket.port()), plain}));

        // The game's router did not keep its port (the answer came from another): no punched way.
        lookUp("2123456789abcdef", joiner.port());
        QTRY_COMPARE(link.count("MPN"), 2);
        link.send({MessageCode::SPN, "2123456789abcdef 40001"}, to);
        QTRY_COMPARE(joiner.count("MJN"), 3);
        QCOMPARE(ways(), QStringList{plain});
    }

    // Garbage and forged announcements get no answer and no entry; a taken port is reported.
    void survivesGarbageAndATakenPort() {
        Master master;
        RawPeer stranger;
        const int port = master.service.port();
        for (const QByteArray& raw :
             {QByteArray(), QByteArray(3000, '\xff'), QByteArray("CLS 999999999 N L"),
              QByteArray("CLS 4 N"), QByteArray("XYZ 3 N L"), QByteArray("SON 2 N ")}) {
            stranger.sendRaw(raw, port);
        }
        stranger.send(ConnectionMessage(MessageCode::CHI, "-1 1 -1 "), port);
        stranger.send(ConnectionMessage(MessageCode::SON, "Beta 0.92 x T 99:99:99 d"), port);
        ConnectionMessage forged = announcement(MessageCode::SON, 27500, "12:00:00");
        forged.content.replace(forged.content.size() - 4, 4, "0000");  // another secret's digest
        stranger.send(forged, port);
        stranger.send(ConnectionMessage(MessageCode::CTS, "T"), port);
        QTRY_COMPARE(stranger.count("MTS"), 1);
        QCOMPARE(stranger.received.size(), 1);
        QCOMPARE(master.service.registry().size(), 0);
        QVERIFY(master.service.counters().rejected >= 2);

        MasterService::Config taken = Master::withLocalPort({});
        taken.port = port;
        MasterService second(taken);
        QVERIFY(!second.start() && !second.errorString().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMaster)
#include "test_master.moc"
