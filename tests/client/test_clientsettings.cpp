// "settings.ini" through the client: defaults, what each save writes, keys it
// must not lose, names made safe, and the texts when the file cannot be written.
#include <unistd.h>
#include <QSettings>
#include <QTest>

#include "client/playernames.h"
#include "clientharness.h"
#include "network/masterserversettings.h"

namespace {

void setOptions(Client& c, const QString& name1, const QString& name2) {
    c.setOptions(name1, name2, true, 2, false, true, true, 1920u, 1080u, 1, false, false, false,
                 false);
}

const QString kOptionsLost =
    QStringLiteral("error F The options could not be saved and will be reset at the next start.");

}  // namespace

class TestClientSettings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void defaultsAndStoredValues() {
        ClientHarness h;
        const ClientSettings& s = h.client->settings();
        QCOMPARE(s.options.name1 + s.options.name2, QStringLiteral("Player1Player2"));
        QVERIFY(s.options.color1 == -1 && s.options.color2 == -1 && s.options.quality == 2);
        QVERIFY(s.options.showIntro && s.options.showPointer && s.options.enableStatsSP &&
                s.options.playSounds && s.options.enableVSync && s.options.showPreview == 1);
        QVERIFY(!s.options.showFPS && !s.options.invertControl && !s.options.ignoreColors);
        QVERIFY(s.options.resWidth == 0 && s.options.resHeight == 0);
        QVERIFY(s.hosting.name == "Quadrell-Server" && s.hosting.ranked && !s.hosting.usePassword &&
                s.hosting.password.isEmpty());
        QVERIFY(s.hosting.maxPlayers == 4 && s.hosting.port == 27403);
        QVERIFY(s.cache.ip == "..." && s.cache.filter == 0);
        QCOMPARE(MasterserverSettings::load(h.dir.path()).port, 27404);
        QVERIFY(!QFile::exists(h.path("settings.ini")));  // reading creates nothing

        ClientHarness stored(
            "[Client]\nPlayer1\\Name=Zoe\nPlayer1\\Color=4\n"
            "General\\ShowFPS=true\nVideo\\ResWidth=1280\n"
            "[Server]\nGeneral\\Name=Den of Zoe\nGeneral\\Port=28000\n"
            "[Cache]\nGeneral\\IP=10.1.1.1:5\nGeneral\\Filter=6\n");
        const ClientSettings& t = stored.client->settings();
        QVERIFY(t.options.name1 == "Zoe" && t.options.color1 == 4 && t.options.showFPS);
        QVERIFY(t.options.resWidth == 1280 && t.hosting.name == "Den of Zoe");
        QVERIFY(t.hosting.port == 28000 && t.cache.ip == "10.1.1.1:5" && t.cache.filter == 6);
    }

    void namesAreMadeSafeBeforeTheyTravel() {
        QCOMPARE(PlayerNames::sanitised("Ann Lee"), QStringLiteral("Ann_Lee"));
        QCOMPARE(PlayerNames::sanitised(" a\tb\r\nc "), QStringLiteral("a_b__c"));
        QCOMPARE(PlayerNames::sanitised("ABCDEFGHIJKLMNOP"), QStringLiteral("ABCDEFGHIJKL"));
        QCOMPARE(PlayerNames::sanitised("  ", "Player1"), QStringLiteral("Player1"));
        QCOMPARE(PlayerNames::sanitised(QString(11, 'x') + QString::fromUtf8("\xF0\x9F\x98\x80")),
                 QString(11, 'x'));  // no half character at the cut
        QCOMPARE(PlayerNames::sanitisedServerName(" Den\tof\nZoe "), QStringLiteral("Den of Zoe"));

        ClientHarness h("[Client]\nPlayer1\\Name=Ann Lee\n");
        setOptions(*h.client, "Solo", "Duo");  // not connected: nothing sent
        QCOMPARE(h.tcp->count("sendCPlayers"), 0);
        h.joinAndEstablish("10.0.0.5", 1);
        setOptions(*h.client, "Bo b", "  ");
        h.client->setColors(5, 0);
        const QList<QVariantList> sent = h.tcp->callsOf("sendCPlayers");
        QCOMPARE(sent.size(), 3);
        QCOMPARE(sent[1].at(1), QVariant(QStringList{"Bo_b", ""}));
        QCOMPARE(sent[2].at(2), QVariant(QVariantList{5, -1}));
        QSettings file(h.path("settings.ini"), QSettings::IniFormat);
        QCOMPARE(file.value("Client/Player1/Name").toString(), QStringLiteral("Bo_b"));
        QCOMPARE(file.value("Client/Player2/Name").toString(), QStringLiteral("Player2"));
    }

    void savingKeepsEveryOtherKey() {
        ClientHarness h(
            "[Client]\nPlayer1\\Name=Zoe\nGeneral\\Theme=dark\n"
            "[Server]\nGeneral\\Name=Den\n[Cache]\nGeneral\\IP=10.1.1.1\n"
            "[Plugins]\nSomething\\Else=42\n");
        setOptions(*h.client, "Zed", "Yan");
        h.client->setColors(1, 2);
        h.client->setLastFilter(5);
        h.client->hostGame("Another", 27500, 3, false, false, true, false, "P");
        h.client.reset();

        QSettings file(h.path("settings.ini"), QSettings::IniFormat);
        QCOMPARE(file.value("Client/General/Theme").toString(), QStringLiteral("dark"));
        QCOMPARE(file.value("Plugins/Something/Else").toInt(), 42);
        QCOMPARE(file.value("Cache/General/IP").toString(), QStringLiteral("10.1.1.1"));
        QCOMPARE(file.value("Cache/General/Filter").toInt(), 5);
        QCOMPARE(file.value("Server/General/MaxPlayers").toInt(), 3);
        QCOMPARE(file.value("Client/Video/ResWidth").toUInt(), 1920u);
        QCOMPARE(file.value("Client/Player2/Color").toInt(), 2);
        ClientSettings again(h.dir.path());  // the next start reads it all back
        QVERIFY(again.options.name1 == "Zed" && again.options.name2 == "Yan");
        QVERIFY(again.options.color1 == 1 && again.options.resHeight == 1080);
        QVERIFY(again.options.invertControl && !again.options.playSounds);
        QVERIFY(again.options.quality == 1 && again.hosting.name == "Another");
        QVERIFY(again.hosting.port == 27500);
    }

    void unwritableFileShowsTheTextsAndKeepsTheValues() {
        ClientHarness h;
        // A directory in the file's place cannot be written, even by root.
        QVERIFY(QDir(h.dir.path()).mkdir("settings.ini"));
        setOptions(*h.client, "Kept", "Duo");
        h.client->setColors(3, 4);
        QCOMPARE(h.eventsOf("error"), (QStringList{kOptionsLost, kOptionsLost}));
        QCOMPARE(h.client->settings().options.name1, QStringLiteral("Kept"));
        QCOMPARE(h.client->settings().options.color1, 3);
        h.clearLog();
        h.client->setLastFilter(3);  // the cache is written without a check
        h.client->hostGame("Open", 27403, 4, false, false, true, false, "P");
        QCOMPARE(h.eventsOf("error").first(),
                 "error F The server settings could not be saved and will be reset at the "
                 "next start.");
        QCOMPARE(h.servers->started.size(), std::size_t(1));  // hosting goes on

        if (::geteuid() != 0) {  // file modes bind everybody but root
            ClientHarness ro("[Client]\nPlayer1\\Name=Zoe\n");
            QFile::setPermissions(ro.path("settings.ini"), QFile::ReadOwner);
            setOptions(*ro.client, "Kept", "Duo");
            QCOMPARE(ro.eventsOf("error"), QStringList{kOptionsLost});
        }
    }
};

QTEST_GUILESS_MAIN(TestClientSettings)
#include "test_clientsettings.moc"
