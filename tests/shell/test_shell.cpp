// The display-mode layer: the fallback under the offscreen platform, and the
// XRandR backend, the switcher and its guard process against a real Xorg with
// the dummy driver (started here, on a display number it picks itself).
#include <signal.h>
#include <unistd.h>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "shell/displaymodeswitcher.h"
#ifdef QUADRELL_HAVE_XRANDR
#include "shell/xrandrdisplaymodes.h"
#endif

Q_DECLARE_METATYPE(std::optional<DisplayMode>)

char* toString(const DisplayMode& m) {
    return qstrdup(QByteArray::number(m.width) + 'x' + QByteArray::number(m.height) + 'x' +
                   QByteArray::number(m.bitsPerPixel) + '@' + QByteArray::number(m.refreshRate));
}

namespace {
const DisplayMode kStart{1280, 1024, 32, 60};
}  // namespace

class TestShell : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void guardActsOnTheLastCompleteLine_data();
    void guardActsOnTheLastCompleteLine();
    void fallbackOffersTheScreenAsItIs();
#ifdef QUADRELL_HAVE_XRANDR
    void initTestCase();
    void cleanupTestCase();
    void listsTheServersModes();
    void switchesOnlyAtTheCurrentRateAndRestoresTheFirstMode();
    void noSwitchOutlivesTheProgram_data();
    void noSwitchOutlivesTheProgram();

private:
    DisplayMode serverMode();
    QTemporaryDir dir_;
    QProcess xorg_;
    QByteArray display_;
    QString skipReason_;
#endif
};

void TestShell::guardActsOnTheLastCompleteLine_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<std::optional<DisplayMode>>("target");
    const std::optional<DisplayMode> none;
    const DisplayMode mode{1024, 768, 32, 75};
    QTest::newRow("nothing") << QByteArray() << none;
    QTest::newRow("restore") << QByteArray("restore 1024 768 32 75\n") << std::optional(mode);
    QTest::newRow("kept after all") << QByteArray("restore 1024 768 32 75\nkeep\n") << none;
    QTest::newRow("unfinished last line")
        << QByteArray("restore 1024 768 32 75\nkeep") << std::optional(mode);
    QTest::newRow("garbage after a restore")
        << QByteArray("restore 1024 768 32 75\nrestore 1024 x 32 75\nrestore 0 0 32 60\n\xff\n")
        << std::optional(mode);
}

void TestShell::guardActsOnTheLastCompleteLine() {
    QFETCH(QByteArray, input);
    QFETCH(std::optional<DisplayMode>, target);
    QCOMPARE(displayGuardTarget(input), target);
    QCOMPARE(displayGuardTarget(displayGuardLine(target)), target);
}

void TestShell::fallbackOffersTheScreenAsItIs() {
    DisplayModeSwitcher switcher(createDisplayModeBackend(), QStringLiteral("/nonexistent"));
    const DisplayMode screen = switcher.currentMode();
    QVERIFY(screen.isValid());
    QCOMPARE(switcher.modes(), QList<DisplayMode>{screen});
    QVERIFY(switcher.changeDisplayMode(screen.width, screen.height));
    QVERIFY(!switcher.changeDisplayMode(screen.width + 1, screen.height));
    QVERIFY(!switcher.isSwitched());
    QCOMPARE(switcher.currentMode(), screen);
}

#ifdef QUADRELL_HAVE_XRANDR

void TestShell::initTestCase() {
    const QString server = QStringLiteral("/usr/lib/xorg/Xorg");
    if (!QFileInfo(server).isExecutable()) {
        skipReason_ = "no Xorg (xserver-xorg-core)";
        return;
    }
    // Xorg takes a config file by absolute path only from root.
    if (::geteuid() != 0) {
        skipReason_ = "Xorg with a config file of ours needs root";
        return;
    }
    const QString log = dir_.filePath(QStringLiteral("Xorg.log"));
    xorg_.setProcessChannelMode(QProcess::SeparateChannels);
    xorg_.start(server,
                {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-config"),
                 QStringLiteral(QUADRELL_XORG_CONFIG), QStringLiteral("-logfile"), log,
                 QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset")});
    // The display number is the first line once the server accepts clients.
    while (!xorg_.canReadLine() && xorg_.waitForReadyRead(20000)) {
    }
    display_ = ':' + xorg_.readLine().trimmed();
    if (display_.size() < 2) {
        QFile file(log);
        file.open(QIODevice::ReadOnly);
        QByteArray reason = xorg_.readAllStandardError().trimmed();
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line.contains("(EE)")) {
                reason = line;  // Xorg's last error says why it stopped
            }
        }
        skipReason_ = "Xorg did not start: " + QString::fromLocal8Bit(reason);
        return;
    }
}

void TestShell::cleanupTestCase() {
    xorg_.terminate();
    if (!xorg_.waitForFinished(10000)) {
        xorg_.kill();
        xorg_.waitForFinished();
    }
}

DisplayMode TestShell::serverMode() {
    const std::unique_ptr<DisplayModeBackend> backend = openXRandrDisplayModes(display_);
    return backend ? backend->currentMode() : DisplayMode{};
}

void TestShell::listsTheServersModes() {
    if (!skipReason_.isEmpty()) {
        QSKIP(qPrintable(skipReason_));
    }
    const std::unique_ptr<DisplayModeBackend> backend = openXRandrDisplayModes(display_);
    QVERIFY(backend);
    QCOMPARE(backend->currentMode(), kStart);
    const QList<DisplayMode> modes = backend->modes();
    for (const DisplayMode& m :
         {kStart, DisplayMode{1152, 864, 32, 75}, DisplayMode{1024, 768, 32, 60},
          DisplayMode{1024, 768, 32, 75}, DisplayMode{800, 600, 32, 60}}) {
        QVERIFY2(modes.contains(m), toString(m));
    }
    QVERIFY(!modes.contains(DisplayMode{1152, 864, 32, 60}));
}

void TestShell::switchesOnlyAtTheCurrentRateAndRestoresTheFirstMode() {
    if (!skipReason_.isEmpty()) {
        QSKIP(qPrintable(skipReason_));
    }
    {
        DisplayModeSwitcher switcher(openXRandrDisplayModes(display_),
                                     QStringLiteral(QUADRELL_DISPLAY_GUARD));
        // 1152x864 exists at 75 Hz only, the screen runs at 60.
        QVERIFY(!switcher.changeDisplayMode(1152, 864));
        QVERIFY(!switcher.changeDisplayMode(1000, 700));
        QVERIFY(!switcher.isSwitched());
        QCOMPARE(serverMode(), kStart);

        QVERIFY(switcher.changeDisplayMode(1024, 768));
        QCOMPARE(serverMode(), (DisplayMode{1024, 768, 32, 60}));
        QVERIFY(switcher.changeDisplayMode(800, 600));
        QCOMPARE(serverMode(), (DisplayMode{800, 600, 32, 60}));
        switcher.restoreDisplayMode();
        QCOMPARE(serverMode(), kStart);

        QVERIFY(switcher.changeDisplayMode(640, 480));
    }
    QCOMPARE(serverMode(), kStart);
}

void TestShell::noSwitchOutlivesTheProgram_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<bool>("guarded");
    // Orderly ends run without a guard process, so that only the program's
    // own restore can pass them.
    QTest::newRow("input closed") << 0 << false;
    QTest::newRow("SIGTERM") << int(SIGTERM) << false;
    QTest::newRow("SIGINT") << int(SIGINT) << false;
    QTest::newRow("SIGKILL") << int(SIGKILL) << true;
}

void TestShell::noSwitchOutlivesTheProgram() {
    if (!skipReason_.isEmpty()) {
        QSKIP(qPrintable(skipReason_));
    }
    QFETCH(int, signalNumber);
    QFETCH(bool, guarded);
    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display_));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    probe.setProcessEnvironment(env);
    probe.start(QStringLiteral(QUADRELL_DISPLAY_PROBE),
                {guarded ? QStringLiteral(QUADRELL_DISPLAY_GUARD) : QStringLiteral("-"),
                 QStringLiteral("800"), QStringLiteral("600")});
    QVERIFY(probe.waitForReadyRead(20000));
    QCOMPARE(probe.readLine().trimmed(), QByteArray("switched"));
    QCOMPARE(serverMode(), (DisplayMode{800, 600, 32, 60}));

    if (signalNumber == 0) {
        probe.closeWriteChannel();
    } else {
        ::kill(static_cast<pid_t>(probe.processId()), signalNumber);
    }
    QVERIFY(probe.waitForFinished(20000));
    if (signalNumber == SIGKILL) {
        QCOMPARE(probe.exitStatus(), QProcess::CrashExit);
    } else {
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.exitCode(), 0);
    }
    if (guarded) {
        // The guard process restores in its own time.
        QTRY_COMPARE_WITH_TIMEOUT(serverMode(), kStart, 10000);
    } else {
        QCOMPARE(serverMode(), kStart);
    }
}

#endif

QTEST_MAIN(TestShell)
#include "test_shell.moc"
