// How the program starts: the command line, where the files go (earlier ones moved out of home
// once, never over newer ones), and German by locale from the first folder with a file.
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <QLocale>
#include <QTranslator>
#include "gameoptions.h"
#include "shell/translation.h"
#include "shell/userfolders.h"

namespace {

// A file's content names where it was first written; '*': another program's.
QByteArray contentFor(QString origin) {
    const bool foreign = origin.endsWith('*');
    origin.remove('*');
    if (origin.endsWith("settings.ini")) {
        return (foreign ? "[Other]\nFrom=" : "[Client]\nFrom=") + origin.toUtf8() + "\n";
    }
    if (origin.endsWith("masterserver.ini")) {
        return "[Master]\nFrom=" + origin.toUtf8() + "\n";
    }
    return origin.toUtf8();
}

}  // namespace

class TestStartup : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void choosesFoldersAndMovesEarlierFiles_data() {
        QTest::addColumn<QStringList>("before");   // files written first ("cfg": a file in the way)
        QTest::addColumn<QString>("work");         // the working folder
        QTest::addColumn<QString>("named");        // --data-dir; empty: none
        QTest::addColumn<QStringList>("folders");  // settings, highscores, pictures
        QTest::addColumn<QStringList>("after");    // "path<-origin": path holds origin's file
        QTest::addColumn<QString>("notice");       // part of the notice; empty: no notice
        QTest::addColumn<QString>("error");        // part of the error; empty: none
        QTest::addColumn<bool>("readOnly");        // "cfg/quadrell" (a read-only mount for root)

        const QStringList user{"cfg/quadrell", "data/quadrell", "pics/Quadrell"};
        const QStringList earlier{"home/settings.ini", "home/masterserver.ini",
                                  "home/highscore.dat", "home/screenshots/sc_00000.png",
                                  "home/screenshots/notes.txt"};

        const auto row = [](const char* name, const QStringList& before, const char* work,
                            const char* named, const QStringList& folders, const QStringList& after,
                            const char* notice = "", const char* error = "",
                            bool readOnly = false) {
            QTest::newRow(name) << before << QString(work) << QString(named) << folders << after
                                << QString(notice) << QString(error) << readOnly;
        };
        const QStringList portable(3, "work");
        row("portable copy", {"work/settings.ini", "home/highscore.dat"}, "work", "", portable,
            {"work/settings.ini<-work/settings.ini", "home/highscore.dat<-home/highscore.dat"});
        row("portable highscores", {"work/highscore.dat"}, "work", "", portable, {});
        row("fresh user", {}, "work", "", user, {});
        row("earlier files, started in home", earlier, "home", "", user,
            {"cfg/quadrell/settings.ini<-home/settings.ini",
             "cfg/quadrell/masterserver.ini<-home/masterserver.ini",
             "data/quadrell/highscore.dat<-home/highscore.dat",
             "pics/Quadrell/screenshots/sc_00000.png<-home/screenshots/sc_00000.png",
             "home/screenshots/notes.txt<-home/screenshots/notes.txt", "home/settings.ini<-",
             "home/highscore.dat<-"},
            "settings.ini -> ");
        row("earlier files, newer ones kept",
            {"home/settings.ini", "home/highscore.dat", "cfg/quadrell/settings.ini"}, "work", "",
            user,
            {"cfg/quadrell/settings.ini<-cfg/quadrell/settings.ini",
             "home/settings.ini<-home/settings.ini",
             "data/quadrell/highscore.dat<-home/highscore.dat"},
            "left in");
        row("another program's settings.ini", {"home/settings.ini*"}, "home", "", user,
            {"home/settings.ini<-home/settings.ini*", "cfg/quadrell/settings.ini<-"});
        row("named folder", earlier + QStringList{"work/settings.ini"}, "work", "named/deeper",
            QStringList(3, "named/deeper"), {"home/settings.ini<-home/settings.ini"});
        row("configuration folder cannot be made", earlier + QStringList{"cfg"}, "home", "", user,
            {"home/settings.ini<-home/settings.ini", "home/highscore.dat<-home/highscore.dat",
             "home/screenshots/sc_00000.png<-home/screenshots/sc_00000.png"},
            "", "cannot create the configuration folder");
        row("read-only configuration folder", {"home/settings.ini"}, "home", "", user,
            {"home/settings.ini<-home/settings.ini", "cfg/quadrell/settings.ini<-"}, "",
            "cannot write to the configuration folder", true);
    }
    void choosesFoldersAndMovesEarlierFiles() {
        QFETCH(QStringList, before);
        QFETCH(QString, work);
        QFETCH(QString, named);
        QFETCH(QStringList, folders);
        QFETCH(QStringList, after);
        QFETCH(QString, notice);
        QFETCH(QString, error);
        QFETCH(bool, readOnly);

        QTemporaryDir scratch;
        const QDir root(scratch.path());
        QVERIFY(root.mkpath("home") && root.mkpath("work"));
        for (const QString& origin : before) {
            const QString path = root.filePath(QString(origin).remove('*'));
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(contentFor(origin));
        }

        const QString config = root.filePath("cfg");
        const bool mounted = readOnly && geteuid() == 0;  // root writes past permissions
        if (mounted) {
            if (!root.mkpath("cfg") || QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k",
                                                                   "tmpfs", config}) != 0) {
                QSKIP("root cannot mount a read-only folder here");
            }
            const bool madeReadOnly = QDir(config).mkdir("quadrell") &&
                                      QProcess::execute("mount", {"-o", "remount,ro", config}) == 0;
            if (!madeReadOnly) {
                QProcess::execute("umount", {config});
                QFAIL("the scratch mount could not be made read-only");
            }
        } else if (readOnly) {
            QVERIFY(
                root.mkpath("cfg/quadrell") &&
                QFile::setPermissions(config + "/quadrell", QFile::ReadOwner | QFile::ExeOwner));
        }

        // Home, the XDG folders and the data folders all below root.
        const FolderEnvironment env{
            .workingDirectory = root.filePath(work),
            .explicitDirectory = named.isEmpty() ? QString() : root.filePath(named),
            .home = root.filePath("home"),
            .configHome = root.filePath("cfg"),
            .dataHome = root.filePath("data"),
            .picturesHome = root.filePath("pics"),
            .dataDirs = {root.filePath("data"), "/usr/share"}};
        const UserFolderResolver::Result result = UserFolderResolver(env).resolve();
        if (mounted) {
            QCOMPARE(QProcess::execute("umount", {config}), 0);
        }

        QVERIFY2(result.error.contains(error) && result.error.isEmpty() == error.isEmpty(),
                 qPrintable(result.error));
        QVERIFY2(result.notice.contains(notice) && result.notice.isEmpty() == notice.isEmpty(),
                 qPrintable(result.notice));
        const GameFolders& f = result.folders;
        QCOMPARE((QStringList{f.settings, f.highscores, f.pictures}),
                 (QStringList{root.filePath(folders[0]), root.filePath(folders[1]),
                              root.filePath(folders[2])}));
        QCOMPARE(f.translations,
                 (QStringList{env.workingDirectory, root.filePath("data/quadrell/translations"),
                              "/usr/share/quadrell/translations"}));
        if (error.isEmpty()) {
            QVERIFY(QFileInfo(f.settings).isDir() && QFileInfo(f.highscores).isDir());
        }
        for (const QString& expected : after) {
            const QStringList parts = expected.split("<-");
            QFile file(root.filePath(parts[0]));
            if (parts[1].isEmpty()) {
                QVERIFY2(!file.exists(), qPrintable(parts[0]));
                continue;
            }
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(parts[0]));
            QCOMPARE(file.readAll(), contentFor(parts[1]));
        }
    }

    // German by locale: from the working or data folder if a file is there, else built in.
    void firstFolderWithAFileWins_data() {
        QTest::addColumn<QString>("locale");        // empty: the system's, from LANG (set by main)
        QTest::addColumn<QByteArray>("working");    // put into the working directory
        QTest::addColumn<QByteArray>("installed");  // put into the installed data folder
        QTest::addColumn<QString>("loaded");        // "working", "installed", "built-in" or ""
        QTest::newRow("no file") << "" << QByteArray() << QByteArray() << "built-in";
        QTest::newRow("own file") << "de_AT" << QByteArray("copy") << QByteArray("copy")
                                  << "working";
        QTest::newRow("installed file")
            << "de_DE" << QByteArray() << QByteArray("copy") << "installed";
        QTest::newRow("broken own file")
            << "de_DE" << QByteArray("not a translation") << QByteArray("copy") << "installed";
        QTest::newRow("broken files")
            << "de_DE" << QByteArray("not a translation") << QByteArray("no") << "built-in";
        QTest::newRow("no German") << "fr_FR" << QByteArray() << QByteArray() << "";
    }
    void firstFolderWithAFileWins() {
        QFETCH(QString, locale);
        QFETCH(QByteArray, working);
        QFETCH(QByteArray, installed);
        QFETCH(QString, loaded);
        const QTemporaryDir workingDir, installedDir;
        const auto put = [](const QTemporaryDir& dir, const QByteArray& content) {
            const QString path = dir.filePath(QStringLiteral("quadrell_de.qm"));
            if (content == "copy") {
                QVERIFY(QFile::copy(QStringLiteral(":/i18n/quadrell_de.qm"), path));
            } else if (!content.isEmpty()) {
                QFile broken(path);
                QVERIFY(broken.open(QIODevice::WriteOnly));
                broken.write(content);
            }
        };
        put(workingDir, working);
        put(installedDir, installed);
        QTranslator translator;
        QCOMPARE(loadTranslation(translator, locale.isEmpty() ? QLocale::system() : QLocale(locale),
                                 {workingDir.path(), installedDir.path()}),
                 !loaded.isEmpty());
        const QString from = loaded == "working"     ? workingDir.filePath("quadrell_de.qm")
                             : loaded == "installed" ? installedDir.filePath("quadrell_de.qm")
                             : loaded.isEmpty()      ? ""
                                                     : ":/i18n/quadrell_de.qm";
        QCOMPARE(translator.filePath(), from);
        if (!loaded.isEmpty()) {
            const auto tr = [&](const char* context, const char* source, int n = -1) {
                return translator.translate(context, source, nullptr, n);
            };
            QCOMPARE(
                (QStringList{tr("MenuModel", "Singleplayer"),
                             tr("Client", "GAME OVER (%n Point(s))", 1),
                             tr("Client", "GAME OVER (%n Point(s))", 0)}),
                (QStringList{"Einzelspieler", "GAME OVER (%n Punkt)", "GAME OVER (%n Punkte)"}));
        }
    }

    // The command line: our options, and Qt's left for QApplication, not refused.
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

    // A link a desktop hands over gives its code to join; any other "quadrell:" argument, or a
    // second link, stops the game with one line naming it.
    void inviteLinkArgument() {
        const auto parse = [](const QString& arguments) {
            return parseGameOptions(("quadrell " + arguments).split(' '), QString());
        };
        const auto link = parse("quadrell://join/abcd-efgh/ --windowed");
        QVERIFY(link.outcome == CommandLineOutcome::Run && link.options.windowed);
        QCOMPARE(link.options.joinCode, "ABCDEFGH");
        QCOMPARE(parse("-platform offscreen Quadrell://JOIN/ABCDEFGH").options.joinCode,
                 "ABCDEFGH");
        for (const char* bad : {"quadrell:ABCD-EFGH", "quadrell://join/ABCD-EFG1",
                                "quadrell://join/ABCD-EFGH quadrell://join/ABCD-EFGJ"}) {
            const auto refused = parse(bad);
            QVERIFY2(refused.outcome == CommandLineOutcome::Error && !refused.text.contains('\n') &&
                         refused.text.contains(QString(bad).section(' ', -1)),
                     qPrintable(refused.text));
        }
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

int main(int argc, char* argv[]) {
    qputenv("LC_ALL", "de_DE.UTF-8");
    qputenv("LANG", "de_DE.UTF-8");
    QCoreApplication app(argc, argv);
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_startup.moc"
