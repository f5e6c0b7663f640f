// The TURN client against a real coturn on 127.0.0.1 (skipped where coturn is
// not installed): both kinds of allocation carry a peer's bytes both ways, and
// credentials that are not the shared secret's are refused.
#include <QDateTime>
#include <QNetworkDatagram>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <netinet/in.h>

#include "relay/restcredentials.h"
#include "relay/sockaddress.h"
#include "relay/stunmessage.h"
#include "relay/turntcprelay.h"
#include "relay/turnudprelay.h"

namespace {

const QByteArray kSecret("relay test secret");
const QHostAddress kLocal(QHostAddress::LocalHost);
const TurnTimings kFast{.requestTimeoutMs = 200,
                        .requestTries = 4,
                        .lifetimeSeconds = 600,
                        .permissionRefreshMs = 240000,
                        .keepAliveMs = 15000};

quint16 freePort() {
    QTcpServer tcp;
    // A port free for both: coturn listens on both at once.
    for (int tries = 0; tries < 20; ++tries) {
        QUdpSocket probe;
        if (probe.bind(kLocal, 0) && tcp.listen(kLocal, probe.localPort())) {
            const quint16 port = probe.localPort();
            tcp.close();
            return port;
        }
    }
    return 0;
}

QByteArray bytesFrom(QTcpSocket& socket, qsizetype count) {
    QByteArray got;
    (void)QTest::qWaitFor(
        [&] {
            got += socket.readAll();
            return got.size() >= count;
        },
        5000);
    return got;  // short when the bytes did not come
}

}  // namespace

class TestRelay : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void theStandardsSampleAnswerIsRead();
    void socketAddressesKeepTheirFamily();
    void datagramsTravelThroughAUdpAllocation();
    void aStreamTravelsThroughATcpAllocation();
    void credentialsNotFromTheSecretAreRefused_data();
    void credentialsNotFromTheSecretAreRefused();

private:
    TurnServer server(const QString& name = QStringLiteral("test")) const {
        const TurnCredentials c =
            restCredentials(kSecret, name, QDateTime::currentSecsSinceEpoch() + 3600);
        return {kLocal.toString(), port_, c.username, c.password};
    }

    QTemporaryDir dir_;
    QProcess coturn_;
    quint16 port_ = 0;
};

void TestRelay::initTestCase() {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("turnserver"));
    if (program.isEmpty()) {
        QSKIP("coturn's turnserver is not installed (Debian package coturn)");
    }
    port_ = freePort();
    QVERIFY(port_ != 0);
    const QString d = dir_.path();
    coturn_.setProgram(program);
    coturn_.setArguments({"-n", "--listening-ip=127.0.0.1", "--relay-ip=127.0.0.1",
                          QStringLiteral("--listening-port=%1").arg(port_), "--min-port=40000",
                          "--max-port=40999", "--use-auth-secret",
                          "--static-auth-secret=" + QString::fromLatin1(kSecret),
                          "--realm=quadrell", "--allow-loopback-peers", "--no-cli", "--no-tls",
                          "--no-dtls", "--db=" + d + "/turndb", "--pidfile=" + d + "/turn.pid",
                          "--log-file=" + d + "/turn.log", "--simple-log"});
    coturn_.setStandardOutputFile(QProcess::nullDevice());
    coturn_.setStandardErrorFile(d + "/turn.err");
    coturn_.start();
    QVERIFY(coturn_.waitForStarted());
    // Ready once it answers a Binding request.
    QUdpSocket probe;
    QVERIFY(probe.bind(kLocal, 0));
    const bool answers = QTest::qWaitFor(
        [&] {
            probe.writeDatagram(
                StunMessage::make(StunMessage::Binding, StunMessage::Request).encode(), kLocal,
                port_);
            return probe.waitForReadyRead(100) && probe.receiveDatagram().data().size() > 0;
        },
        10000);
    QVERIFY2(answers, "coturn did not answer on its port");
}

void TestRelay::cleanupTestCase() {
    if (coturn_.state() != QProcess::NotRunning) {
        coturn_.terminate();
        if (!coturn_.waitForFinished(3000)) {
            coturn_.kill();
            coturn_.waitForFinished(1000);
        }
    }
}

void TestRelay::theStandardsSampleAnswerIsRead() {
    // The sample IPv4 answer of RFC 5769: padding of spaces, attributes we do
    // not know (FINGERPRINT), the mapped address XORed with the cookie.
    const QByteArray sample = QByteArray::fromHex(
        "0101003c2112a442b7e7a701bc34d686fa87dfae8022000b7465737420766563746f7220"
        "002000080001a147e112a64300080014"
        "2b91f599fd9e90c38c7489f92af9ba53f06be7d780280004c07d4c96");
    const std::optional<StunMessage> parsed = StunMessage::parse(sample);
    QVERIFY(parsed);
    QCOMPARE(parsed->method, quint16(StunMessage::Binding));
    QCOMPARE(parsed->kind, quint16(StunMessage::Success));
    QCOMPARE(parsed->value(0x8022), QByteArray("test vector"));
    const auto mapped = parsed->address(StunMessage::XorMappedAddress);
    QVERIFY(mapped);
    QCOMPARE(mapped->first, QHostAddress("192.0.2.1"));
    QCOMPARE(mapped->second, quint16(32853));
    QCOMPARE(StunMessage::sizeOf(sample.first(20)), sample.size());

    // Every cut of it, and a header that claims more than there is, is nothing.
    for (qsizetype n = 0; n < sample.size(); ++n) {
        QVERIFY(!StunMessage::parse(sample.first(n)));
    }
    QByteArray tooLong = sample;
    tooLong[3] = char(0x40);
    QVERIFY(!StunMessage::parse(tooLong));
}

void TestRelay::socketAddressesKeepTheirFamily() {
    // "::" is no IPv4 address, though Qt converts it to one.
    for (const auto& [text, family] : {std::pair{"192.0.2.1", AF_INET},
                                       {"::ffff:192.0.2.1", AF_INET},
                                       {"::", AF_INET6},
                                       {"2001:db8::5", AF_INET6}}) {
        const SockAddress a = SockAddress::of(QHostAddress(QString::fromLatin1(text)), 27403);
        QVERIFY2(a.family() == family, text);
        const auto port = family == AF_INET
                              ? reinterpret_cast<const sockaddr_in*>(a.get())->sin_port
                              : reinterpret_cast<const sockaddr_in6*>(a.get())->sin6_port;
        QCOMPARE(ntohs(port), 27403);
    }
}

void TestRelay::datagramsTravelThroughAUdpAllocation() {
    TurnUdpRelay relay(kFast);
    QSignalSpy allocated(&relay, &TurnSession::allocated);
    QSignalSpy failed(&relay, &TurnSession::failed);
    relay.start(server());
    QVERIFY2(allocated.wait(5000),
             failed.isEmpty() ? "" : qPrintable(failed.first().first().toString()));
    const auto relayed = allocated.first().first().value<QHostAddress>();
    const auto relayedPort = allocated.first().at(1).value<quint16>();
    QCOMPARE(relayed, kLocal);

    QUdpSocket peer;
    QVERIFY(peer.bind(kLocal, 0));
    // Before the permission the relay drops the peer's datagrams.
    peer.writeDatagram("too early", relayed, relayedPort);
    // A peer of the other family is refused; the allocation serves on.
    QSignalSpy refused(&relay, &TurnSession::refused);
    relay.permit(QHostAddress(QHostAddress::LocalHostIPv6));
    QVERIFY(refused.wait(5000));
    QSignalSpy permitted(&relay, &TurnSession::permitted);
    relay.permit(kLocal);
    QVERIFY(permitted.wait(5000));
    QVERIFY(failed.isEmpty());

    QSignalSpy received(&relay, &TurnUdpRelay::received);
    peer.writeDatagram("from the joiner", relayed, relayedPort);
    QVERIFY(received.wait(5000));
    QCOMPARE(received.first().at(0).value<QHostAddress>(), kLocal);
    QCOMPARE(received.first().at(1).value<quint16>(), peer.localPort());
    QCOMPARE(received.first().at(2).toByteArray(), QByteArray("from the joiner"));

    relay.send(kLocal, peer.localPort(), "from the game");
    QVERIFY(QTest::qWaitFor([&] { return peer.hasPendingDatagrams(); }, 5000));
    const QNetworkDatagram back = peer.receiveDatagram();
    QCOMPARE(back.data(), QByteArray("from the game"));
    QCOMPARE(back.senderPort(), int(relayedPort));
    QCOMPARE(received.size(), 1);

    // That send asked for a channel: once the relay bound it, datagrams
    // travel with 4 bytes of header, both ways.
    const QByteArray later("later, by channel");
    const bool byChannel = QTest::qWaitFor(
        [&] {
            const qint64 before = relay.bytesOut();
            relay.send(kLocal, peer.localPort(), later);
            return relay.bytesOut() - before == 4 + later.size();
        },
        5000);
    QVERIFY(byChannel);
    QVERIFY(QTest::qWaitFor([&] { return peer.hasPendingDatagrams(); }, 5000));
    QTest::qWait(50);
    while (peer.hasPendingDatagrams()) {
        QCOMPARE(peer.receiveDatagram().data(), later);
    }
    const QByteArray toGame("to the game, by channel");
    const qint64 before = relay.bytesIn();
    peer.writeDatagram(toGame, relayed, relayedPort);
    QVERIFY(received.wait(5000));
    QVERIFY(relay.bytesIn() - before <= 4 + toGame.size() + 3);  // at most padded
    QCOMPARE(received.last().at(1).value<quint16>(), peer.localPort());
    QCOMPARE(received.last().at(2).toByteArray(), toGame);
    QVERIFY(failed.isEmpty());
    relay.stop();
}

void TestRelay::aStreamTravelsThroughATcpAllocation() {
    TurnTcpRelay relay(kFast);
    QSignalSpy allocated(&relay, &TurnSession::allocated);
    QSignalSpy failed(&relay, &TurnSession::failed);
    relay.start(server());
    QVERIFY2(allocated.wait(5000),
             failed.isEmpty() ? "" : qPrintable(failed.first().first().toString()));
    QSignalSpy permitted(&relay, &TurnSession::permitted);
    relay.permit(kLocal);
    QVERIFY(permitted.wait(5000));

    // The joiner writes at once: its first bytes must reach the game, not be
    // eaten by the bind on the relay side.
    QSignalSpy connection(&relay, &TurnTcpRelay::connection);
    QTcpSocket joiner;
    connect(&joiner, &QTcpSocket::connected, &joiner, [&] { joiner.write("hello, game"); });
    joiner.connectToHost(allocated.first().first().value<QHostAddress>(),
                         allocated.first().at(1).value<quint16>());
    QVERIFY(connection.wait(5000));
    QCOMPARE(connection.first().at(2).value<quint16>(), joiner.localPort());

    QTcpSocket game;
    QVERIFY(game.setSocketDescriptor(connection.first().first().value<qintptr>()));
    QCOMPARE(bytesFrom(game, 11), QByteArray("hello, game"));
    game.write("hello, joiner");
    QCOMPARE(bytesFrom(joiner, 13), QByteArray("hello, joiner"));
    relay.stop();
}

void TestRelay::credentialsNotFromTheSecretAreRefused_data() {
    QTest::addColumn<int>("kind");
    QTest::newRow("wrong password") << 0;
    QTest::newRow("expired") << 1;
}

void TestRelay::credentialsNotFromTheSecretAreRefused() {
    QFETCH(int, kind);
    TurnServer s = server();
    if (kind == 0) {
        s.password = restCredentials("another secret", QStringLiteral("test"),
                                     QDateTime::currentSecsSinceEpoch() + 3600)
                         .password;
    } else {
        const TurnCredentials old = restCredentials(kSecret, QStringLiteral("test"),
                                                    QDateTime::currentSecsSinceEpoch() - 60);
        s.username = old.username;
        s.password = old.password;
    }
    TurnUdpRelay relay(kFast);
    QSignalSpy allocated(&relay, &TurnSession::allocated);
    QSignalSpy failed(&relay, &TurnSession::failed);
    relay.start(s);
    QVERIFY(failed.wait(5000));
    QVERIFY2(failed.first().first().toString().contains(QStringLiteral("401")),
             qPrintable(failed.first().first().toString()));
    QVERIFY(allocated.isEmpty());
}

QTEST_GUILESS_MAIN(TestRelay)
#include "test_relay.moc"
