// quadrell-server: its command line, and the program itself on 127.0.0.1 —
// the port line, a taken port, the first client as host, a host that leaves,
// SIGTERM, and the figures it writes on the way out.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

#include "apps/server/serveroptions.h"
#include "testclient.h"

using Outcome = OptionsResult::Outcome;

class TestDedicated : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void commandLine_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("outcome");
        // port max name password ranked open lease retry computers skill takeover
        QTest::addColumn<QString>("settings");

        const auto run = int(Outcome::Run);
        const QString defaults = "4 Quadrell server - F F 3600 1000 0 normal T";
        QTest::newRow("defaults") << QStringList() << run << "27403 " + defaults;
        QTest::newRow("everything")
            << QString(
                   "--port|0|--max-players|4|--name|  Big \t Room |--password|se  cret|--ranked|"
                   "--open-port|--port-lease|60|--stats-retry-ms|10|--state-dir|/|"
                   "--computers|3|--computer-skill|hard|--no-takeover")
                   .split('|')
            << run << "0 4 Big Room Pse  cret T T 60 10 3 hard F";
        QTest::newRow("equals") << QStringList{"--port=28000"} << run << "28000 " + defaults;
        QTest::newRow("computers below max players")
            << QStringList{"--max-players", "2", "--computers", "1", "--computer-skill", "easy"}
            << run << "27403 2 Quadrell server - F F 3600 1000 1 easy T";
        QTest::newRow("help") << QStringList{"--help"} << int(Outcome::Help) << "";
        const QString bad =
            "--port abc|--port 65536|--port -1|--port|--port 1 --port 2|--max-players 0|"
            "--max-players 5|--max-players 2x|--password |--name |--name a\x01|"
            "--master-config /nonexistent/master.ini|--bogus|stray|--stats-file |"
            "--heartbeat-ms 99|--port-lease 1|--stats-retry-ms 9|--state-dir /nonexistent|"
            "--max-players 2 --computers 2|--computer-skill simple|--computer-skill expert";
        for (const QString& args : bad.split('|')) {
            QTest::newRow(qPrintable(args)) << args.split(' ') << int(Outcome::Error) << "";
        }
    }

    void commandLine() {
        QFETCH(QStringList, args);
        QFETCH(int, outcome);
        QFETCH(QString, settings);
        const OptionsResult r = parseDedicatedOptions(QStringList{"quadrell-server"} + args);
        QCOMPARE(int(r.outcome), outcome);
        QVERIFY(!r.text.isEmpty() || outcome == int(Outcome::Run));
        if (outcome == int(Outcome::Run)) {
            const DedicatedOptions& o = r.options;
            const auto n = [](int v) { return QString::number(v); };
            const auto flag = [](bool b) { return b ? "T" : "F"; };
            QCOMPARE(
                QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10 %11")
                    .arg(n(o.port), n(o.maxPlayers), o.name, o.usePassword ? o.password : "-",
                         flag(o.ranked), flag(o.openPort), n(o.portLeaseSeconds), n(o.statsRetryMs),
                         n(o.computers), skillName(o.computerSkill), flag(o.computerTakeover)),
                settings);
        }
    }

    // A list of unsent reports that cannot be read is said on standard error
    // and left alone, and the server runs on.
    void programRunsAndStopsInOrder() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("unsent-reports.txt"));
        const QString statsPath = dir.filePath("stats.json");
        const QString config = nettest::writeMasterFile(dir);
        QSettings(config, QSettings::IniFormat)
            .setValue("Master/General/StatsUrl", "http://127.0.0.1:1");
        int port = -1;
        const auto server = nettest::launch(
            QStringLiteral(QUADRELL_SERVER_PROGRAM),
            {"--port", "0", "--ranked", "--master-config", config, "--state-dir", dir.path(),
             "--stats-file", statsPath},
            QRegularExpression("^quadrell-server listening on port (\\d+)\n$"), port);
        QVERIFY(port > 0);
        const QByteArray expected =
            "cannot read '" + dir.filePath("unsent-reports.txt").toUtf8() + "'";
        QByteArray error;
        QTRY_VERIFY2((error += server->readAllStandardError()).contains(expected), error);

        // The port is taken now.
        QProcess second;
        second.start(QStringLiteral(QUADRELL_SERVER_PROGRAM), {"--port", QString::number(port)});
        QVERIFY(second.waitForFinished(10000) && second.exitCode() != 0);
        QVERIFY(QString::fromUtf8(second.readAllStandardError()).contains(QString::number(port)));
        QCOMPARE(second.readAllStandardOutput(), QByteArray());

        // The game goes on when the first client (the host) leaves.
        TestClient first, second1;
        for (TestClient* c : {&first, &second1}) {
            c->join(port);
            QTRY_VERIFY(c->joined());
            c->players({QStringLiteral("P%1").arg(c->clientId)}, GamePlayer::Waiting);
        }
        first.leave();
        QTRY_COMPARE(second1.left, QList<int>({first.clientId}));
        second1.players({"Solo"}, GamePlayer::Ready);
        QTRY_COMPARE_WITH_TIMEOUT(second1.countdown.value(3, -1), 0, 10000);  // 3 s
        const int moves = second1.moves;
        QTRY_VERIFY(second1.moves > moves);
        QTest::qWait(150);  // a few ticks of 20 ms, for the figures
        server->terminate();
        QVERIFY(server->waitForFinished(10000));
        QCOMPARE(server->exitStatus(), QProcess::NormalExit);
        QCOMPARE(server->exitCode(), 0);
        QCOMPARE(server->readAllStandardOutput(), QByteArray());  // the one line was all
        QTRY_VERIFY(second1.shutdowns > 0);
        QVERIFY(QFileInfo(dir.filePath("unsent-reports.txt")).isDir());

        // The figures: ticks and their period, and each client's traffic.
        QFile statsFile(statsPath);
        QVERIFY(statsFile.open(QIODevice::ReadOnly));
        const QJsonObject stats = QJsonDocument::fromJson(statsFile.readAll()).object();
        QVERIFY(stats["ticks"].toInteger() > 0);
        const QJsonObject period = stats["tickPeriodMilliseconds"].toObject();
        QVERIFY(period["median"].toDouble() >= 4.0 && period["samples"].toInteger() > 0);
        const QJsonArray clients = stats["clients"].toArray();
        QCOMPARE(clients.size(), 2);
        QCOMPARE(clients[1]["clientId"].toInt(), 1);
        QVERIFY(clients[1]["datagramBytes"].toInteger() > 0);
        for (const QJsonValue& c : clients) {
            QVERIFY(c["streamBytes"].toInteger() > 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestDedicated)
#include "test_dedicated.moc"
