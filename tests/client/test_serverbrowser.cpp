// The server list on a recording connection: list, check, join probes and errors.
#include <QTest>

#include "client/serverbrowser.h"
#include "client/serverentries.h"
#include "tests/support/fakeconnection.h"
#include "tests/support/fakehostlookup.h"

namespace {

using Calls = QList<QVariantList>;

struct Browser {
    explicit Browser(bool withMaster = true)
        : Browser(withMaster ? MasterserverSettings{"127.0.0.1", QHostAddress("127.0.0.1"), 3001}
                             : MasterserverSettings{}) {}
    explicit Browser(const MasterserverSettings& where) : browser(master, where) {
        // Nothing leaves this machine: the local networks are nobody's here.
        browser.lan().setTargets([] { return QList<QHostAddress>(); });
        browser.setHostLookup(names.lookup());
        const auto say = [this](const QString& what) {
            return [this, what] { events.append(what); };
        };
        QObject::connect(&browser, &ServerBrowser::masterChecked, [this](bool reached) {
            events.append(reached ? "reached" : "unreachable");
        });
        QObject::connect(&browser, &ServerBrowser::probeFailed, say("probe failed"));
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
    void answer(const QString& address, int port) {
        Q_EMIT master->changedCNewServer(-1, ServerData("Beta 0.92", address, "A server", port,
                                                        false, false, 1, 4, 12, QString()));
    }
    void fail() { Q_EMIT master->errorOccured(-1, ConnectionInterface::ConnectionLost); }
    void unreachable(const QString& address, int port) {
        Q_EMIT master->changedCServerUnreachable(-1, address, port);
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
        Browser none(false);
        none.browser.getServerlist();
        QCOMPARE(none.events, QStringList{"list Unreachable"});
        QVERIFY(none.master->calls.isEmpty());

        Browser b;
        b.browser.getServerlist();
        b.browser.getServerlist();
        Q_EMIT b.master->masterserverResult(-1, MasterserverResult::MasterListReceived);
        b.answer("10.0.0.9", 27403);
        b.fail();
        b.browser.getServerlist();
        QCOMPARE(b.master->callsOf("connectToHost"),
                 (Calls{{"127.0.0.1", 3001}, {"127.0.0.1", 3001}}));
        QCOMPARE(b.master->count("requestServerlist"), 3);
        QCOMPARE(b.events, (QStringList{"list Received", "server 10.0.0.9", "list Unreachable"}));
        b.browser.close();
        b.browser.close();  // already closed
        QCOMPARE(b.master->callsOf("disconnectClient"), (Calls{{-1, true}}));
    }

    void onlyTheProbedServerAnswersTheJoin() {
        Browser b;
        b.browser.probe(QHostAddress("10.0.0.5"), 1234);
        QCOMPARE(b.master->callsOf("queryServer"), (Calls{{"10.0.0.5", 1234}}));
        b.answer("10.0.0.5", 27403);  // another port: a list entry
        b.answer("10.0.0.5", 1234);
        b.answer("10.0.0.5", 1234);  // the join has its answer
        b.browser.probe(QHostAddress("10.0.0.6"), 1);
        b.browser.cancelProbe();
        b.answer("10.0.0.6", 1);
        QCOMPARE(b.events, (QStringList{"server 10.0.0.5", "answer 10.0.0.5", "server 10.0.0.5",
                                        "server 10.0.0.6"}));
        QVERIFY(!b.browser.probing());
    }

    // Catches a replaced probe's late report ending the current join.
    void onlyTheProbedServerEndsTheJoin() {
        Browser b;
        b.browser.probe(QHostAddress("10.0.0.6"), 1);
        b.browser.cancelProbe();
        b.browser.probe(QHostAddress("10.0.0.5"), 1234);
        b.unreachable("10.0.0.6", 1);
        b.unreachable("10.0.0.5", 27403);
        QVERIFY(b.browser.probing());
        QVERIFY(b.events.isEmpty());
        b.unreachable("10.0.0.5", 1234);
        QCOMPARE(b.events, QStringList{"probe failed"});
        QVERIFY(!b.browser.probing());
        b.unreachable("10.0.0.5", 1234);  // nothing waits for it any more
        QCOMPARE(b.events.size(), 1);
    }

    // Catches a probe that never ends, or one failing after its answer or cancel.
    void aJoinProbeEndsInBoundedTime() {
        Browser b;
        b.browser.setProbeTimeout(20);
        b.browser.probe(QHostAddress("10.0.0.5"), 1234);
        QTRY_COMPARE(b.events, QStringList{"probe failed"});
        QVERIFY(!b.browser.probing());
        b.browser.probe(QHostAddress("10.0.0.5"), 1234);
        b.answer("10.0.0.5", 1234);
        b.browser.probe(QHostAddress("10.0.0.6"), 1);
        b.browser.cancelProbe();
        QTest::qWait(60);
        QCOMPARE(b.events, (QStringList{"probe failed", "answer 10.0.0.5"}));
    }

    // Steps asked (l list, c check, p probe, r the check's answer), heard after one error.
    void anErrorAnswersWhatWaits_data() {
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QStringList>("heard");
        QTest::newRow("list") << "l" << QStringList{"list Unreachable"};
        QTest::newRow("check") << "c" << QStringList{"unreachable"};
        // The master server's error is no end of a join's probe.
        QTest::newRow("probe") << "p" << QStringList{};
        QTest::newRow("probe while checking") << "cp" << QStringList{"unreachable"};
        QTest::newRow("host after the list") << "lc" << QStringList{"unreachable"};
        QTest::newRow("join after the list") << "lp" << QStringList{};
        QTest::newRow("check answered") << "cr" << QStringList{"reached"};
        QTest::newRow("list after hosting") << "crl" << QStringList{"reached", "list Unreachable"};
    }

    void anErrorAnswersWhatWaits() {
        QFETCH(QString, asked);
        QFETCH(QStringList, heard);
        Browser b;
        for (const QChar step : asked) {
            if (step == 'l') {
                b.browser.getServerlist();
            } else if (step == 'c') {
                b.browser.checkMaster();
            } else if (step == 'p') {
                b.browser.probe(QHostAddress("10.0.0.5"), 27403);
            } else {
                Q_EMIT b.master->masterserverOnline(-1);
            }
        }
        b.fail();
        QCOMPARE(b.events, heard);
        QCOMPARE(b.master->count("connectToHost"),
                 asked.contains('l') || asked.contains('c') ? 1 : 0);
    }

    // Catches master names looked up more than once, or unresolved ones hanging.
    void masterNamesAreLookedUpOnFirstUse() {
        Browser b(MasterserverSettings{"master.example", QHostAddress(), 3001});
        QVERIFY(b.browser.hasMaster());
        b.browser.getServerlist();
        b.browser.getServerlist();
        QCOMPARE(b.names.asked, QStringList{"master.example"});
        QCOMPARE(b.master->count("connectToHost"), 0);
        b.names.answer({QHostAddress("10.0.0.3")});
        QCOMPARE(b.master->callsOf("connectToHost"), (Calls{{"10.0.0.3", 3001}}));
        QCOMPARE(b.master->count("requestServerlist"), 1);
        b.browser.checkMaster();
        QCOMPARE(b.names.asked.size(), 1);
        QCOMPARE(b.master->count("sendMasterTest"), 1);

        Browser lost(MasterserverSettings{"nowhere.example", QHostAddress(), 3001});
        lost.browser.checkMaster();
        lost.names.answer({});
        lost.browser.getServerlist();
        lost.names.answer({});
        QCOMPARE(lost.events, (QStringList{"unreachable", "list Unreachable"}));
        QCOMPARE(lost.names.asked.size(), 2);  // tried again: the network may be back
        QVERIFY(lost.master->calls.isEmpty());
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
    }

    void broadcastGoesWhereTheNetworksAre() {
        const QHostAddress lan("192.168.1.255");
        const QHostAddress lab("10.1.255.255");
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
