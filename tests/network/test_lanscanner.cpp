// The question to the local networks, answered by a stand-in on 127.0.0.1.
#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

#include "network/lanscanner.h"
#include "network/payloadcodec.h"
#include "tests/network/nettestsupport.h"

class TestLanScanner : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Garbage, a description with a forged digest and a second copy of a
    // genuine one in the same round: one entry, from the sender's address and
    // port, marked LAN. The next round hears the server again.
    void onlyGenuineAnswersCountOncePerRound() {
        QUdpSocket server;
        QVERIFY(server.bind(nettest::kLocal, 0));
        LanScanner scanner;
        scanner.setTargets([] { return QList<QHostAddress>{nettest::kLocal}; });
        scanner.setPorts({server.localPort()});
        qint64 now = 1000;
        scanner.setClock([&now] { return now; });
        QList<ServerData> found;
        connect(&scanner, &LanScanner::found, [&found](const ServerData& s) { found.append(s); });

        for (int round = 1; round <= 2; ++round) {
            scanner.scan();
            QTRY_VERIFY(server.hasPendingDatagrams());
            const QNetworkDatagram question = server.receiveDatagram();
            QCOMPARE(question.data(), QByteArray("CIN 3 N I"));
            const QString genuine =
                PayloadCodec::buildServerInfo("Beta 0.92", true, 2, 4, false, "Den game");
            QString forged = genuine;
            forged[forged.size() - 1] = forged.back() == u'0' ? u'1' : u'0';
            now += 7;
            for (const QByteArray& answer :
                 {QByteArray("SIN 99 N trunc"), QByteArray("\xff\x00garbage", 9),
                  ConnectionMessage(MessageCode::SIN, forged).encode(),
                  ConnectionMessage(MessageCode::SIN, genuine).encode(),
                  ConnectionMessage(MessageCode::SIN, genuine).encode()}) {
                server.writeDatagram(answer, question.senderAddress(), question.senderPort());
            }
            QTRY_COMPARE(found.size(), round);
            QTest::qWait(50);  // the second copy has come and gone
            QCOMPARE(found.size(), round);
        }
        const ServerData& s = found.last();
        QCOMPARE(s.name(), "Den game");
        QCOMPARE(s.address(), "127.0.0.1");
        QCOMPARE(s.port(), int(server.localPort()));
        QCOMPARE(s.ping(), 7);
        QVERIFY(s.isLan() && s.ranked() && !s.hasPassword());
        QCOMPARE(s.players(), 2);
        QCOMPARE(scanner.lastRoundBytes(), 9);
    }
};

QTEST_GUILESS_MAIN(TestLanScanner)
#include "test_lanscanner.moc"
