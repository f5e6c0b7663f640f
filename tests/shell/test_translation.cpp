// The German texts: chosen by the player's locale, from the working directory
// when a file is there, else from the copy built into the program.
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

#include "shell/translation.h"

class TestTranslation : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void germanLocaleGetsGermanTexts_data() {
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("german");
        QTest::newRow("main menu") << "MenuModel"
                                   << "Singleplayer" << -1 << "Einzelspieler";
        QTest::newRow("client") << "Client"
                                << "Disconnecting..." << -1 << "Verbindung wird getrennt...";
        QTest::newRow("one point") << "Client"
                                   << "GAME OVER (%n Point(s))" << 1 << "GAME OVER (1 Punkt)";
        QTest::newRow("no points") << "Client"
                                   << "GAME OVER (%n Point(s))" << 0 << "GAME OVER (0 Punkte)";
    }
    void germanLocaleGetsGermanTexts() {
        QFETCH(QString, context);
        QFETCH(QString, source);
        QFETCH(int, count);
        QFETCH(QString, german);
        // As the game finds it: the system locale from LANG (set by main below).
        QCOMPARE(QLocale::system().language(), QLocale::German);
        QTemporaryDir empty;
        QTranslator translator;
        QVERIFY(loadTranslation(translator, QLocale::system(), empty.path()));
        QVERIFY(QCoreApplication::installTranslator(&translator));
        const QString text = QCoreApplication::translate(
            context.toUtf8().constData(), source.toUtf8().constData(), nullptr, count);
        QCoreApplication::removeTranslator(&translator);
        QCOMPARE(text, german);
    }

    void workingDirectoryFirst_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QByteArray>("file");  // put into the working directory
        QTest::addColumn<QString>("loaded");   // "dir", "built-in" or "" for none
        QTest::newRow("no file") << "de_DE" << QByteArray() << "built-in";
        QTest::newRow("own file") << "de_AT" << QByteArray("copy") << "dir";
        QTest::newRow("broken file") << "de_DE" << QByteArray("not a translation") << "built-in";
        QTest::newRow("no German") << "fr_FR" << QByteArray() << "";
    }
    void workingDirectoryFirst() {
        QFETCH(QString, locale);
        QFETCH(QByteArray, file);
        QFETCH(QString, loaded);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("quadrell_de.qm"));
        if (file == "copy") {
            QVERIFY(QFile::copy(QStringLiteral(":/i18n/quadrell_de.qm"), path));
        } else if (!file.isEmpty()) {
            QFile broken(path);
            QVERIFY(broken.open(QIODevice::WriteOnly));
            broken.write(file);
        }
        QTranslator translator;
        QCOMPARE(loadTranslation(translator, QLocale(locale), dir.path()), !loaded.isEmpty());
        const QString from = loaded == "dir"    ? path
                             : loaded.isEmpty() ? ""
                                                : ":/i18n/quadrell_de.qm";
        QCOMPARE(translator.filePath(), from);
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
