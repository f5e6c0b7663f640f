// The command line: our options, and Qt's left for QApplication, not refused.
#include <QTest>

#include "gameoptions.h"

class TestGameOptions : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsOwnOptionsAndLeavesQtsAlone_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("variable");  // QUADRELL_DATA_DIR
        QTest::addColumn<bool>("runs");
        QTest::addColumn<bool>("windowed");
        QTest::addColumn<QString>("dataDir");

        QTest::newRow("nothing") << QStringList{} << "" << true << false << "";
        QTest::newRow("Qt's options, one dash")
            << QStringList{"-platform", "xcb",         "-style",        "fusion",
                           "-geometry", "640x480+0+0", "-display",      ":1",
                           "-reverse",  "--windowed",  "-qwindowtitle", "Q"}
            << "" << true << true << "";
        QTest::newRow("Qt's options, two dashes and '='")
            << QStringList{"--platform",        "offscreen", "--style=fusion", "-stylesheet=a.qss",
                           "--qwindowgeometry", "1x1",       "--nograb"}
            << "" << true << false << "";
        QTest::newRow("a Qt option's value is not ours")
            << QStringList{"-qwindowtitle", "--windowed"} << "" << true << false << "";
        QTest::newRow("Qt option last, without value")
            << QStringList{"--windowed", "-platform"} << "" << true << true << "";
        QTest::newRow("unknown option")
            << QStringList{"--platforms", "xcb"} << "" << false << false << "";
        QTest::newRow("'=' only where Qt takes it")
            << QStringList{"-platform=xcb"} << "" << false << false << "";
        QTest::newRow("after --, nothing is an option")
            << QStringList{"--", "-reverse"} << "" << false << false << "";
        QTest::newRow("variable") << QStringList{} << "/srv/q" << true << false << "/srv/q";
        QTest::newRow("option beats variable")
            << QStringList{"--data-dir", "/tmp/q"} << "/srv/q" << true << false << "/tmp/q";
        QTest::newRow("empty folder") << QStringList{"--data-dir="} << "" << false << false << "";
        QTest::newRow("two folders")
            << QStringList{"--data-dir", "a", "--data-dir", "b"} << "" << false << false << "";
    }
    void readsOwnOptionsAndLeavesQtsAlone() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, variable);
        QFETCH(bool, runs);
        QFETCH(bool, windowed);
        QFETCH(QString, dataDir);
        const auto parsed = parseGameOptions(QStringList{"quadrell"} + arguments, variable);
        QCOMPARE(parsed.outcome == CommandLineOutcome::Run, runs);
        QCOMPARE(parsed.options.windowed, windowed);
        QCOMPARE(parsed.options.dataDirectory, dataDir);
    }

    // The datagram delay from the environment; a bad value names the variable.
    void latencyVariableAndFlatOut() {
        const auto parse = [](const QStringList& arguments, const QString& latency) {
            return parseGameOptions(QStringList{"quadrell"} + arguments, QString(), latency);
        };
        const auto plain = parse({}, QString());
        QVERIFY(plain.outcome == CommandLineOutcome::Run && !plain.options.flatOut);
        QCOMPARE(plain.options.latency, Latency{});
        const auto set = parse({"--flat-out"}, "100,20");
        QVERIFY(set.outcome == CommandLineOutcome::Run && set.options.flatOut);
        QCOMPARE(set.options.latency, (Latency{100, 20}));
        const auto bad = parse({}, "100ms");
        QVERIFY(bad.outcome == CommandLineOutcome::Error);
        QVERIFY2(bad.text.contains(QLatin1String(kLatencyVariable)), qPrintable(bad.text));
    }
};

QTEST_GUILESS_MAIN(TestGameOptions)
#include "test_gameoptions.moc"
