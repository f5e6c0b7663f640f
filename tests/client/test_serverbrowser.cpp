// The server list on a recording connection: list, check, join probes and errors.
#include <QTest>

#include "client/serverbrowser.h"
#include "client/serverentries.h"
#include "tests/support/fakeconnection.h"
#include "tests/support/fakehostlookup.h"

namespace {

using Calls = QList<QVariantList>;
const MasterserverSettings kLocalMaster{"127.0.0.1", QHostAddress("127.0.0.1"), 3001};

struct Browser {
    explicit Browser(const MasterserverSettings& where = kLocalMaster) : browser(master, where) {
        // Nothing leaves this machine: the local networks are nobody's here.
        browser.lan().setTargets([] { return QList<QHostAddress>(); });
        browser.setHostLookup(names.lookup());
        QObject::connect(&browser, &ServerBrowser::masterChecked, [this](bool reached) {
            events.append(reached ? "reached" : "unreachable");
        });
        QObject::connect(&browser, &ServerBrowser::probeFailed,
                         [this] { events.append("probe failed"); });
        QObject::connect(&browser, &ServerBrowser::probeAnswered,
                         [this](const ServerData& s) { events.append("answer " + s.address()); });
        QObject::connect(&browser, &ServerBrowser::newServer,
                         [this](const ServerData& s) { events.append("server " + s.address()); });
        QObject::connect(
            &browser, &ServerBrowser::resultMasterserver, [this](MasterserverResult r) {
                static const QStringList names{"None", "Empty", "Received", "Done", "Unreachable"};
                events.append("list " + names.value(int(r)));
            });
    }
    // One step of a table: l list, c check, r the check's answer, f the master's error, x cancel,
    // t the probe's end and its time-out after; p, a and u a probe of, an answer from and an
    // unreachable report about a server: 5 is 10.0.0.5:1234, 6 10.0.0.6:1234, o 10.0.0.5:27403.
    void step(const QString& s) {
        const QString address = s.endsWith('6') ? "10.0.0.6" : "10.0.0.5";
        const int port = s.endsWith('o') ? 27403 : 1234;
        if (s == "l") {
            browser.getServerlist();
        } else if (s == "c") {
            browser.checkMaster();
        } else if (s == "r") {
            Q_EMIT master->masterserverOnline(-1);
        } else if (s == "f") {
            Q_EMIT master->errorOccured(-1, ConnectionInterface::ConnectionLost);
        } else if (s == "x") {
            browser.cancelProbe();
        } else if (s == "t") {
            QTRY_VERIFY(!browser.probing());
            QTest::qWait(60);
        } else if (s.startsWith('p')) {
            browser.probe(QHostAddress(address), port);
        } else if (s.startsWith('a')) {
            Q_EMIT master->changedCNewServer(-1, ServerData("Beta 0.92", address, "A server", port,
                                                            false, false, 1, 4, 12, QString()));
        } else {
            Q_EMIT master->changedCServerUnreachable(-1, address, port);
        }
    }

    FakeMasterConnection* master = new FakeMasterConnection;  // owned by the browser
    FakeHostLookup names;
    ServerBrowser browser;
    QStringList events;
};

}  // namespace

class TestServerBrowser : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void listRequestsReopenAfterAnError() {
        Browser none(MasterserverSettings{});  // no master
        none.browser.getServerlist();
        QCOMPARE(none.events, QStringList{"list Unreachable"});
        QVERIFY(none.master->calls.isEmpty());

        Browser b;
        b.browser.getServerlist();
        b.browser.getServerlist();
        Q_EMIT b.master->masterserverResult(-1, MasterserverResult::MasterListReceived);
        b.step("ao");
        b.step("f");
        b.browser.getServerlist();
        QCOMPARE(b.master->callsOf("connectToHost"),
                 (Calls{{"127.0.0.1", 3001}, {"127.0.0.1", 3001}}));
        QCOMPARE(b.master->count("requestServerlist"), 3);
        QCOMPARE(b.events, (QStringList{"list Received", "server 10.0.0.5", "list Unreachable"}));
        b.browser.close();
        b.browser.close();  // already closed
        QCOMPARE(b.master->callsOf("disconnectClient"), (Calls{{-1, true}}));
        // Catches master names looked up more than once, or unresolved ones hanging.
        Browser named(MasterserverSettings{"master.example", QHostAddress(), 3001});
        QVERIFY(named.browser.hasMaster());
        named.browser.getServerlist();
        named.browser.getServerlist();
        QCOMPARE(named.names.asked, QStringList{"master.example"});
        QCOMPARE(named.master->count("connectToHost"), 0);
        named.names.answer({QHostAddress("10.0.0.3")});
        QCOMPARE(named.master->callsOf("connectToHost"), (Calls{{"10.0.0.3", 3001}}));
        QCOMPARE(named.master->count("requestServerlist"), 1);
        named.browser.checkMaster();
        QCOMPARE(named.names.asked.size(), 1);
        QCOMPARE(named.master->count("sendMasterTest"), 1);

        Browser lost(MasterserverSettings{"nowhere.example", QHostAddress(), 3001});
        lost.browser.checkMaster();
        lost.names.answer({});
        lost.browser.getServerlist();
        lost.names.answer({});
        QCOMPARE(lost.events, (QStringList{"unreachable", "list Unreachable"}));
        QCOMPARE(lost.names.asked.size(), 2);  // tried again: the network may be back
        QVERIFY(lost.master->calls.isEmpty());
    }

    void stepsAndWhatIsHeard_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("heard");
        QTest::addColumn<bool>("probing");
        // An error answers the check of a hosted game, else the list; never a join's probe.
        QTest::newRow("check") << "c f" << QStringList{"unreachable"} << false;
        QTest::newRow("probe") << "po f" << QStringList{} << true;
        QTest::newRow("probe while checking") << "c po f" << QStringList{"unreachable"} << true;
        QTest::newRow("host after the list") << "l c f" << QStringList{"unreachable"} << false;
        QTest::newRow("join after the list") << "l po f" << QStringList{} << true;
        QTest::newRow("check answered") << "c r f" << QStringList{"reached"} << false;
        QTest::newRow("list after hosting")
            << "c r l f" << QStringList{"reached", "list Unreachable"} << false;
        // Only the probed server's first answer or report ends a join, or else the time-out.
        const QString five = "server 10.0.0.5";
        QTest::newRow("answers") << "p5 ao a5 a5" << QStringList{five, "answer 10.0.0.5", five}
                                 << false;
        QTest::newRow("cancelled") << "p6 x a6" << QStringList{"server 10.0.0.6"} << false;
        QTest::newRow("a replaced probe's report") << "p6 x p5 u6 uo" << QStringList{} << true;
        QTest::newRow("unreachable") << "p5 u5 u5" << QStringList{"probe failed"} << false;
        QTest::newRow("timed out") << "p5 t" << QStringList{"probe failed"} << false;
        QTest::newRow("answered in time") << "p5 a5 t" << QStringList{"answer 10.0.0.5"} << false;
        QTest::newRow("cancelled in time") << "p5 x t" << QStringList{} << false;
    }
    void stepsAndWhatIsHeard() {
        QFETCH(QString, steps);
        QFETCH(QStringList, heard);
        QFETCH(bool, probing);
        Browser b;
        b.browser.setProbeTimeout(20);
        for (const QString& step : steps.split(' ')) {
            b.step(step);
        }
        QCOMPARE(b.events, heard);
        QCOMPARE(b.browser.probing(), probing);
        QCOMPARE(b.master->count("connectToHost"),
                 steps.contains('l') || steps.contains('c') ? 1 : 0);
    }

    // Catches games listed twice (master and LAN), or LAN entries kept after silence.
    void entriesListEachGameOnce() {
        const auto game = [](const QString& address, int port, bool lan, int players) {
            ServerData s("Beta 0.92", address, "G", port, false, false, players, 4, 9, QString());
            s.setLan(lan);
            return s;
        };
        ServerEntries e;
        e.add(game("192.168.1.5", 27403, false, 1));
        e.add(game("::ffff:192.168.1.5", 27403, true, 2));
        e.add(game("192.168.1.6", 27403, true, 0));
        e.add(game("192.168.1.6", 27404, true, 3));
        e.add(game("192.168.1.5", 27403, false, 4));  // the master's again: the mark stays
        QCOMPARE(e.size(), 3);
        QVERIFY(e.at(0).isLan());
        QCOMPARE(e.at(0).players(), 4);
        QCOMPARE(e.at(2).port(), 27404);

        QVERIFY(!e.beginLanRound());  // everything answered
        e.add(game("192.168.1.6", 27403, true, 1));
        QVERIFY(e.beginLanRound());
        QCOMPARE(e.size(), 2);  // the master's game stays without answering
        QCOMPARE(e.at(1).players(), 1);
        QVERIFY(e.beginLanRound());
        QCOMPARE(e.size(), 1);
        QCOMPARE(e.at(0).address(), "192.168.1.5");
        const QHostAddress lan("192.168.1.255"), lab("10.1.255.255");
        // up, loopback, can broadcast, addresses
        const QList<LanInterface> interfaces{{true, false, true, {lan, QHostAddress("ff02::1")}},
                                             {false, false, true, {QHostAddress("172.16.0.255")}},
                                             {true, true, true, {QHostAddress("127.255.255.255")}},
                                             {true, false, false, {QHostAddress("172.17.0.255")}},
                                             {true, false, true, {lab, lan}}};
        QCOMPARE(broadcastAddresses(interfaces), (QList<QHostAddress>{lan, lab}));
        QVERIFY(broadcastAddresses({}).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestServerBrowser)
#include "test_serverbrowser.moc"
