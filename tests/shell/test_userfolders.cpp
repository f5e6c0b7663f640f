// Where the game keeps its files: a named folder, a portable copy in the
// working folder, or the user's folders, with an earlier version's files
// moved out of the home folder once and never over newer ones.
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "shell/userfolders.h"

namespace {

// Each file's content names where it was written first, so that a test sees
// which copy ended up where. A name ending in '*' is another program's file.
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

class TestUserFolders : public QObject {
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

        const QStringList user{"cfg/quadrell", "data/quadrell", "pics/Quadrell"};
        const QStringList earlier{"home/settings.ini", "home/masterserver.ini",
                                  "home/highscore.dat", "home/screenshots/sc_00000.png",
                                  "home/screenshots/notes.txt"};

        QTest::newRow("portable copy")
            << QStringList{"work/settings.ini", "home/highscore.dat"} << "work"
            << "" << QStringList(3, "work")
            << QStringList{"work/settings.ini<-work/settings.ini",
                           "home/highscore.dat<-home/highscore.dat"}
            << ""
            << "";
        QTest::newRow("portable highscores") << QStringList{"work/highscore.dat"} << "work"
                                             << "" << QStringList(3, "work") << QStringList{} << ""
                                             << "";
        QTest::newRow("fresh user") << QStringList{} << "work"
                                    << "" << user << QStringList{} << ""
                                    << "";
        QTest::newRow("earlier files, started in home")
            << earlier << "home"
            << "" << user
            << QStringList{"cfg/quadrell/settings.ini<-home/settings.ini",
                           "cfg/quadrell/masterserver.ini<-home/masterserver.ini",
                           "data/quadrell/highscore.dat<-home/highscore.dat",
                           "pics/Quadrell/screenshots/sc_00000.png<-home/screenshots/sc_00000.png",
                           "home/screenshots/notes.txt<-home/screenshots/notes.txt",
                           "home/settings.ini<-",
                           "home/highscore.dat<-"}
            << "settings.ini -> "
            << "";
        QTest::newRow("earlier files, newer ones kept")
            << QStringList{"home/settings.ini", "home/highscore.dat", "cfg/quadrell/settings.ini"}
            << "work"
            << "" << user
            << QStringList{"cfg/quadrell/settings.ini<-cfg/quadrell/settings.ini",
                           "home/settings.ini<-home/settings.ini",
                           "data/quadrell/highscore.dat<-home/highscore.dat"}
            << "left in"
            << "";
        QTest::newRow("another program's settings.ini")
            << QStringList{"home/settings.ini*"} << "home"
            << "" << user
            << QStringList{"home/settings.ini<-home/settings.ini*", "cfg/quadrell/settings.ini<-"}
            << ""
            << "";
        QTest::newRow("named folder") << earlier + QStringList{"work/settings.ini"} << "work"
                                      << "named/deeper" << QStringList(3, "named/deeper")
                                      << QStringList{"home/settings.ini<-home/settings.ini"} << ""
                                      << "";
        QTest::newRow("configuration folder cannot be made")
            << earlier + QStringList{"cfg"} << "home"
            << "" << user
            << QStringList{"home/settings.ini<-home/settings.ini",
                           "home/highscore.dat<-home/highscore.dat",
                           "home/screenshots/sc_00000.png<-home/screenshots/sc_00000.png"}
            << ""
            << "cannot create the configuration folder";
    }
    void choosesFoldersAndMovesEarlierFiles() {
        QFETCH(QStringList, before);
        QFETCH(QString, work);
        QFETCH(QString, named);
        QFETCH(QStringList, folders);
        QFETCH(QStringList, after);
        QFETCH(QString, notice);
        QFETCH(QString, error);

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

        FolderEnvironment env;
        env.workingDirectory = root.filePath(work);
        env.explicitDirectory = named.isEmpty() ? QString() : root.filePath(named);
        env.home = root.filePath("home");
        env.configHome = root.filePath("cfg");
        env.dataHome = root.filePath("data");
        env.picturesHome = root.filePath("pics");
        env.dataDirs = {root.filePath("data"), "/usr/share"};
        const UserFolderResolver::Result result = UserFolderResolver(env).resolve();

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

    // A configuration folder that exists but cannot be written: a read-only
    // mount for root, whom permissions do not stop, else the permissions.
    void readOnlyConfigurationFolderLosesNothing() {
        QTemporaryDir scratch;
        const QDir root(scratch.path());
        QVERIFY(root.mkpath("home") && root.mkpath("cfg/quadrell"));
        QFile earlier(root.filePath("home/settings.ini"));
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write(contentFor("home/settings.ini"));
        earlier.close();
        const QString config = root.filePath("cfg");
        const QString folder = root.filePath("cfg/quadrell");
        const bool mounted = geteuid() == 0;
        if (mounted) {
            if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", config}) !=
                0) {
                QSKIP("root cannot mount a read-only folder here");
            }
            const bool madeReadOnly = QDir(config).mkdir("quadrell") &&
                                      QProcess::execute("mount", {"-o", "remount,ro", config}) == 0;
            if (!madeReadOnly) {
                QProcess::execute("umount", {config});
                QFAIL("the scratch mount could not be made read-only");
            }
        } else {
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        }

        FolderEnvironment env;
        env.workingDirectory = env.home = root.filePath("home");
        env.configHome = config;
        env.dataHome = root.filePath("data");
        env.picturesHome = root.filePath("pics");
        const UserFolderResolver::Result result = UserFolderResolver(env).resolve();
        if (mounted) {
            QCOMPARE(QProcess::execute("umount", {config}), 0);
        }
        QCOMPARE(result.error, "cannot write to the configuration folder " + folder);
        QVERIFY(result.moved.isEmpty());
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), contentFor("home/settings.ini"));
    }
};

QTEST_GUILESS_MAIN(TestUserFolders)
#include "test_userfolders.moc"
