// Who may join a game server: the hello rules on their own, as one table of
// rules, what the tables hold and the hello, against the outcome.
#include <QTest>

#include "network/admission.h"

namespace {

constexpr int kKey = 4711;
const QHostAddress kHome(QStringLiteral("127.0.0.1"));
const QHostAddress kElsewhere(QStringLiteral("127.0.0.2"));

enum Extra { None, FirstIsHost, HostIdIsOne, IdsFromHome, SeatOne };

}  // namespace

Q_DECLARE_METATYPE(HelloOutcome)

class TestAdmission : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void hellos_data() {
        QTest::addColumn<int>("extra");
        QTest::addColumn<bool>("singleplayer");
        QTest::addColumn<int>("playerCount");
        QTest::addColumn<QList<int>>("clientIds");
        QTest::addColumn<QString>("hello");  // requestedId players hostKey password
        QTest::addColumn<HelloOutcome>("outcome");
        QTest::addColumn<int>("clientId");
        QTest::addColumn<bool>("host");

        const auto row = [](const char* name, Extra extra, int count, QList<int> ids,
                            const QString& hello, HelloOutcome outcome, int clientId = -1,
                            bool host = false, bool single = false) {
            QTest::newRow(name) << int(extra) << single << count << ids << hello << outcome
                                << clientId << host;
        };
        const QString key = QString::number(kKey);
        using O = HelloOutcome;
        row("the host's client first", None, 0, {}, "-1 1 " + key + " pw", O::Accepted, 0, true);
        row("anybody else first", None, 0, {}, "-1 1 5 pw", O::Refused);
        row("a guest later", None, 1, {0}, "-1 1 -1 pw", O::Accepted, 1);
        row("wrong password", None, 1, {0}, "-1 1 -1 pw2", O::WrongPassword);
        row("password with the key", None, 0, {}, "-1 1 " + key + " nope", O::WrongPassword);
        row("singleplayer guest", None, 1, {0}, "-1 1 -1 pw", O::Refused, -1, false, true);
        row("no players", None, 1, {0}, "-1 0 -1 pw", O::Refused);
        row("three players", None, 1, {0}, "-1 3 -1 pw", O::Refused);
        row("splitscreen, one place left", None, 3, {0, 1, 2}, "-1 2 -1 pw", O::ServerFull);
        row("lowest free id", None, 2, {0, 2}, "-1 1 -1 pw", O::Accepted, 1);
        row("requested free id", None, 1, {0}, "3 1 -1 pw", O::Accepted, 3);
        row("requested id taken", None, 1, {0}, "0 1 -1 pw", O::Refused);
        row("requested id outside", None, 1, {0}, "4 1 -1 pw", O::Refused);
        row("first of a keyless server", FirstIsHost, 0, {}, "-1 1 -1 pw", O::Accepted, 0, true);
        row("second of a keyless server", FirstIsHost, 1, {0}, "-1 1 -1 pw", O::Accepted, 1);
        row("after its host left", FirstIsHost, 1, {1}, "-1 1 -1 pw", O::Accepted, 0, true);
        row("datagram of the host", HostIdIsOne, 0, {}, "1 1 -1 pw", O::Accepted, 1, true);
        row("datagram of a guest first", HostIdIsOne, 0, {}, "2 1 -1 pw", O::Accepted, 2, false);
        row("datagram id from its host", IdsFromHome, 1, {0}, "1 1 -1 pw", O::Accepted, 1);
        row("datagram id from elsewhere", IdsFromHome, 1, {0}, "2 1 -1 pw", O::Refused);
        row("datagram without an id", IdsFromHome, 1, {0}, "-1 1 -1 pw", O::Refused);
        // A player the server seats itself holds id 1.
        row("past a seat's id", SeatOne, 1, {0}, "-1 1 -1 pw", O::Accepted, 2);
        row("a seat's id requested", SeatOne, 1, {0}, "1 1 -1 pw", O::Refused);
        row("a seat counts", SeatOne, 2, {0, 2}, "-1 2 -1 pw", O::ServerFull);
        row("a seat is not the host's client", SeatOne, 0, {}, "-1 1 5 pw", O::Refused);
    }

    void hellos() {
        QFETCH(int, extra);
        QFETCH(bool, singleplayer);
        QFETCH(int, playerCount);
        QFETCH(QList<int>, clientIds);
        QFETCH(QString, hello);
        QFETCH(HelloOutcome, outcome);
        QFETCH(int, clientId);
        QFETCH(bool, host);

        Admission admission({extra == FirstIsHost ? -1 : kKey, singleplayer, true, "pw", 4});
        switch (extra) {
            case FirstIsHost:
                admission.setFirstClientIsHost(true);
                break;
            case HostIdIsOne:
                admission.setHostClientIdSource([] { return 1; });
                break;
            case IdsFromHome:
                // Id 1's stream came from home, id 2's from elsewhere.
                admission.setClientIdCheck([](int id, const QHostAddress& from) {
                    return from == (id == 1 ? kHome : kElsewhere);
                });
                break;
            default:
                break;
        }
        // In these rows the host, when there is one, has id 0.
        const Admission::Verdict verdict =
            admission.decide(PayloadCodec::parseHello(hello), kHome,
                             {playerCount, clientIds.contains(0), clientIds,
                              extra == SeatOne ? QList<int>{1} : QList<int>{}});
        QCOMPARE(verdict.outcome, outcome);
        QCOMPARE(verdict.clientId, clientId);
        QCOMPARE(verdict.becomesHost, host);
    }

    void whoOwnsTheServer() {
        Admission own({kKey, false, false, QString(), 4});
        QVERIFY(own.hostOwnsServer());
        Admission dedicated({-1, false, false, QString(), 4});
        dedicated.setFirstClientIsHost(true);
        QVERIFY(!dedicated.hostOwnsServer());
        Admission datagram({-1, false, false, QString(), 4});
        datagram.setHostClientIdSource([] { return -1; });
        QVERIFY(!datagram.hostOwnsServer());
    }
};

QTEST_GUILESS_MAIN(TestAdmission)
#include "test_admission.moc"
