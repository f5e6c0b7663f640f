// German by locale: from the working or data folder if a file is there, else built in.
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

#include "shell/translation.h"

class TestTranslation : public QObject {
    Q_OBJECT

private Q_SLOTS:
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
        const QTemporaryDir workingDir;
        const QTemporaryDir installedDir;
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
};

int main(int argc, char* argv[]) {
    qputenv("LC_ALL", "de_DE.UTF-8");
    qputenv("LANG", "de_DE.UTF-8");
    QCoreApplication app(argc, argv);
    TestTranslation test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_translation.moc"
