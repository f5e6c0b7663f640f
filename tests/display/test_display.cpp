// Display modes: the offscreen fallback, and XRandR, switcher and guard on a dummy Xorg.
#include <signal.h>
#include <unistd.h>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "display/displaymodebackends.h"
#include "display/displaymodeswitcher.h"
#ifdef QUADRELL_HAVE_XRANDR
#include "display/xrandrdisplaymodes.h"
#endif

char* toString(const DisplayMode& m) {
    return qstrdup(QByteArray::number(m.width) + 'x' + QByteArray::number(m.height) + 'x' +
                   QByteArray::number(m.bitsPerPixel) + '@' + QByteArray::number(m.refreshRate));
}

namespace {
const DisplayMode kStart{1280, 1024, 32, 60};
const QString kStartSeen = QStringLiteral("1280x1024@60");
}  // namespace

// Skips without root or Xorg; fails when Xorg is there and does not start.
#define REQUIRE_XORG()                               \
    if (!xorgMissing_.isEmpty()) {                   \
        QSKIP(qPrintable(xorgMissing_));             \
    }                                                \
    if (display_.isEmpty()) {                        \
        QFAIL(qPrintable("Xorg failed: " + error_)); \
    }

class TestDisplay : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Without Xorg: the guard acts on its last complete line, the fallback offers the screen.
    void guardLinesAndTheFallback() {
        const DisplayMode mode{1024, 768, 32, 75};
        const QByteArray restore = displayGuardLine(mode);
        QCOMPARE(displayGuardTarget(restore), mode);
        QCOMPARE(displayGuardTarget(restore + displayGuardLine(std::nullopt)), std::nullopt);
        // A writer killed in the middle of a line, and lines that are no mode.
        QCOMPARE(displayGuardTarget(restore + "keep"), mode);
        QCOMPARE(displayGuardTarget(restore + "restore 9 x 32 60\nrestore 0 0 32 60\n\xff\n"),
                 mode);

        DisplayModeSwitcher switcher(createDisplayModeBackend(), QStringLiteral("/nonexistent"));
        const DisplayMode screen = switcher.currentMode();
        QVERIFY(screen.isValid());
        QCOMPARE(switcher.modes(), QList<DisplayMode>{screen});
        QVERIFY(switcher.changeDisplayMode(screen.width, screen.height));
        QVERIFY(!switcher.changeDisplayMode(screen.width + 1, screen.height));
        QVERIFY(!switcher.isSwitched());
    }

#ifdef QUADRELL_HAVE_XRANDR
    void initTestCase() {
        const QString server = QStringLiteral("/usr/lib/xorg/Xorg");
        if (!QFileInfo(server).isExecutable()) {
            xorgMissing_ = "no Xorg (xserver-xorg-core)";
        } else if (::geteuid() != 0) {
            xorgMissing_ = "Xorg takes a config file of ours only from root";
        }
        if (!xorgMissing_.isEmpty()) {
            return;
        }
        const QString log = dir_.filePath(QStringLiteral("Xorg.log"));
        xorg_.start(server, {"-displayfd", "1", "-config", QUADRELL_XORG_CONFIG, "-logfile", log,
                             "-nolisten", "tcp", "-noreset"});
        // It writes its display number once it accepts clients.
        while (!xorg_.canReadLine() && xorg_.waitForReadyRead(20000)) {
        }
        const QByteArray number = xorg_.readLine().trimmed();
        if (!number.isEmpty()) {
            display_ = ':' + number;
            return;
        }
        QFile file(log);
        file.open(QIODevice::ReadOnly);
        error_ = QString::fromLocal8Bit(file.readAll());
        error_ = error_.mid(error_.lastIndexOf("(EE)"));  // the last error says why it stopped
    }

    void cleanupTestCase() {
        xorg_.terminate();
        xorg_.waitForFinished(10000);
    }

    void switchesOnlyAtTheCurrentRateAndRestoresTheFirstMode() {
        REQUIRE_XORG();
        {
            DisplayModeSwitcher switcher(openXRandrDisplayModes(display_),
                                         QStringLiteral(QUADRELL_DISPLAY_GUARD));
            QCOMPARE(switcher.currentMode(), kStart);
            QVERIFY(switcher.modes().contains(DisplayMode{1024, 768, 32, 75}));
            // 1152x864 is there at 75 Hz only, and the screen runs at 60.
            QVERIFY(!switcher.changeDisplayMode(1152, 864));
            QVERIFY(!switcher.changeDisplayMode(1000, 700));
            QCOMPARE(serverMode(), kStartSeen);

            QVERIFY(switcher.changeDisplayMode(1024, 768));
            QCOMPARE(serverMode(), "1024x768@60");
            QVERIFY(switcher.changeDisplayMode(800, 600));
            QCOMPARE(serverMode(), "800x600@60");
            switcher.restoreDisplayMode();
            QCOMPARE(serverMode(), kStartSeen);
            QVERIFY(switcher.changeDisplayMode(640, 480));
        }
        QCOMPARE(serverMode(), kStartSeen);
    }

    void noSwitchOutlivesTheProgram_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<bool>("guarded");
        // Orderly ends run unguarded: only the program's own restore passes them.
        QTest::newRow("input closed") << 0 << false;
        QTest::newRow("SIGTERM") << int(SIGTERM) << false;
        QTest::newRow("SIGINT") << int(SIGINT) << false;
        QTest::newRow("SIGKILL") << int(SIGKILL) << true;
    }

    void noSwitchOutlivesTheProgram() {
        REQUIRE_XORG();
        QFETCH(int, signalNumber);
        QFETCH(bool, guarded);
        QProcess probe;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", QString::fromLatin1(display_));
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("LSAN_OPTIONS", "suppressions=" QUADRELL_LSAN_SUPPRESSIONS);
        probe.setProcessEnvironment(env);
        probe.start(QUADRELL_DISPLAY_PROBE, {guarded ? QUADRELL_DISPLAY_GUARD : "-", "800", "600"});
        QVERIFY(probe.waitForReadyRead(20000));
        QCOMPARE(probe.readLine(), "switched\n");
        QCOMPARE(serverMode(), "800x600@60");

        if (signalNumber == 0) {
            probe.closeWriteChannel();
        } else {
            ::kill(static_cast<pid_t>(probe.processId()), signalNumber);
        }
        QVERIFY(probe.waitForFinished(20000));
        QVERIFY2((probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0) == !guarded,
                 probe.readAllStandardError().constData());
        // Restored at once, or in the guard's own time.
        QTRY_COMPARE_WITH_TIMEOUT(serverMode(), kStartSeen, (guarded ? 10000 : 0));
    }

private:
    // The screen's size and rate as xrandr, a witness apart from our code, sees them.
    QString serverMode() {
        QProcess xrandr;
        xrandr.start("xrandr", {"--display", display_, "--current"});
        xrandr.waitForFinished(10000);
        const QString out = QString::fromLocal8Bit(xrandr.readAllStandardOutput());
        const QRegularExpressionMatch size =
            QRegularExpression(R"(current (\d+) x (\d+))").match(out);
        const QRegularExpressionMatch rate = QRegularExpression(R"(([\d.]+)\*)").match(out);
        return size.captured(1) + 'x' + size.captured(2) + '@' +
               QString::number(qRound(rate.captured(1).toDouble()));
    }

    QTemporaryDir dir_;
    QProcess xorg_;
    QByteArray display_;
    QString xorgMissing_;
    QString error_;
#endif
};

QTEST_MAIN(TestDisplay)
#include "test_display.moc"
