// "settings.ini" through the client: defaults, what each save writes, keys it
// must not lose, names made safe, and the texts when the file is read-only.
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

}  // namespace

class TestClientSettings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void freshDirectoryGivesTheDefaults() {
        ClientHarness h;
        const ClientSettings& s = h.client->settings();
        QCOMPARE(s.options.name1, QStringLiteral("Player1"));
        QCOMPARE(s.options.name2, QStringLiteral("Player2"));
        QCOMPARE(s.options.color1, -1);
        QCOMPARE(s.options.color2, -1);
        QVERIFY(s.options.showIntro && s.options.showPointer && s.options.enableStatsSP);
        QVERIFY(s.options.playSounds && s.options.enableVSync);
        QVERIFY(!s.options.showFPS && !s.options.invertControl && !s.options.ignoreColors);
        QCOMPARE(s.options.showPreview, 1);
        QCOMPARE(s.options.resWidth, 0);
        QCOMPARE(s.options.resHeight, 0);
        QCOMPARE(s.options.quality, 2);
        QCOMPARE(s.hosting.name, QStringLiteral("Quadrell-Server"));
        QVERIFY(s.hosting.ranked && !s.hosting.usePassword);
        QCOMPARE(s.hosting.password, QString());
        QCOMPARE(s.hosting.maxPlayers, 4);
        QCOMPARE(s.hosting.port, 27403);
        QCOMPARE(s.cache.ip, QStringLiteral("..."));
        QCOMPARE(s.cache.filter, 0);
        QCOMPARE(MasterserverSettings::load(h.dir.path()).port, 27404);
        QVERIFY(!QFile::exists(h.path("settings.ini")));  // reading creates nothing
    }

    void storedValuesAreReadWithTheirTypes() {
        ClientHarness h(
            "[Client]\nPlayer1\\Name=Zoe\nPlayer1\\Color=4\nGeneral\\ShowFPS=true\n"
            "General\\ShowPreview=0\nVideo\\ResWidth=1280\nVideo\\Quality=0\n"
            "[Server]\nGeneral\\Name=Den of Zoe\nGeneral\\Port=28000\n"
            "[Cache]\nGeneral\\IP=10.1.1.1:5\nGeneral\\Filter=6\n");
        const ClientSettings& s = h.client->settings();
        QCOMPARE(s.options.name1, QStringLiteral("Zoe"));
        QCOMPARE(s.options.color1, 4);
        QVERIFY(s.options.showFPS);
        QCOMPARE(s.options.showPreview, 0);
        QCOMPARE(s.options.resWidth, 1280);
        QCOMPARE(s.options.quality, 0);
        QCOMPARE(s.hosting.name, QStringLiteral("Den of Zoe"));
        QCOMPARE(s.hosting.port, 28000);
        QCOMPARE(s.cache.ip, QStringLiteral("10.1.1.1:5"));
        QCOMPARE(s.cache.filter, 6);
    }

    void namesAreMadeSafeBeforeTheyTravel() {
        QCOMPARE(PlayerNames::sanitised("Ann Lee"), QStringLiteral("Ann_Lee"));
        QCOMPARE(PlayerNames::sanitised("a\tb\r\nc"), QStringLiteral("a_b__c"));
        QCOMPARE(PlayerNames::sanitised("ABCDEFGHIJKLMNOP"), QStringLiteral("ABCDEFGHIJKL"));
        QCOMPARE(PlayerNames::sanitised("", "Player1"), QStringLiteral("Player1"));
        QCOMPARE(PlayerNames::sanitised(QString(11, 'x') + QString::fromUtf8("\xF0\x9F\x98\x80")),
                 QString(11, 'x'));  // no half character at the cut
        QCOMPARE(PlayerNames::sanitisedServerName(" Den\tof\nZoe "), QStringLiteral("Den of Zoe"));

        // A name with a space in the file would shift every later field of "CPLR".
        ClientHarness h("[Client]\nPlayer1\\Name=Ann Lee\n");
        QCOMPARE(h.client->settings().options.name1, QStringLiteral("Ann_Lee"));
        h.joinAndEstablish("10.0.0.5", 1);
        QCOMPARE(h.tcp->last("sendCPlayers").at(1), QVariant(QStringList{"Ann_Lee", ""}));
        setOptions(*h.client, "Bo b", "  ");
        QCOMPARE(h.tcp->last("sendCPlayers").at(1), QVariant(QStringList{"Bo_b", ""}));
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
        h.client.reset();  // whatever is still cached reaches the file

        QSettings file(h.path("settings.ini"), QSettings::IniFormat);
        QCOMPARE(file.value("Client/General/Theme").toString(), QStringLiteral("dark"));
        QCOMPARE(file.value("Plugins/Something/Else").toInt(), 42);
        QCOMPARE(file.value("Cache/General/IP").toString(), QStringLiteral("10.1.1.1"));
        QCOMPARE(file.value("Cache/General/Filter").toInt(), 5);
        QCOMPARE(file.value("Client/Player1/Name").toString(), QStringLiteral("Zed"));
        QCOMPARE(file.value("Client/Player1/Color").toInt(), 1);
        QCOMPARE(file.value("Client/Player2/Color").toInt(), 2);
        QCOMPARE(file.value("Client/Video/ResWidth").toUInt(), 1920u);
        QCOMPARE(file.value("Client/Video/Quality").toInt(), 1);
        QCOMPARE(file.value("Client/General/InvertControl").toBool(), true);
        QCOMPARE(file.value("Client/General/ShowIntro").toBool(), false);
        QCOMPARE(file.value("Server/General/Name").toString(), QStringLiteral("Another"));
        QCOMPARE(file.value("Server/General/MaxPlayers").toInt(), 3);
        QCOMPARE(file.value("Server/General/Port").toInt(), 27500);

        // And a later start reads back what was saved.
        ClientSettings again(h.dir.path());
        QCOMPARE(again.options.name2, QStringLiteral("Yan"));
        QCOMPARE(again.options.resHeight, 1080);
        QVERIFY(!again.options.playSounds);
    }

    void optionsChangedWhileConnectedReachTheServer() {
        ClientHarness h;
        setOptions(*h.client, "Solo", "Duo");  // not connected: nothing sent
        QCOMPARE(h.tcp->count("sendCPlayers"), 0);
        h.joinAndEstablish("10.0.0.5", 1);
        h.tcp->clear();
        setOptions(*h.client, "Renamed", "Duo");
        QCOMPARE(h.tcp->callsOf("sendCPlayers").size(), 1);
        QCOMPARE(h.tcp->last("sendCPlayers").at(1), QVariant(QStringList{"Renamed", ""}));
        h.client->setColors(5, 0);
        QCOMPARE(h.tcp->last("sendCPlayers").at(2), QVariant(QVariantList{5, -1}));
    }

    void readOnlyFileShowsTheTextsAndKeepsTheValues() {
        ClientHarness h;
        // A directory in the file's place cannot be written, even by root.
        QVERIFY(QDir(h.dir.path()).mkdir("settings.ini"));
        setOptions(*h.client, "Kept", "Duo");
        h.client->setColors(3, 4);
        QCOMPARE(h.eventsOf("error"),
                 (QStringList{"error F The options could not be saved and will be reset at the "
                              "next start.",
                              "error F The options could not be saved and will be reset at the "
                              "next start."}));
        QCOMPARE(h.client->settings().options.name1, QStringLiteral("Kept"));
        QCOMPARE(h.client->settings().options.color1, 3);
        h.clearLog();
        h.client->hostGame("Open", 27403, 4, false, false, true, false, "P");
        QCOMPARE(h.eventsOf("error").first(),
                 QStringLiteral("error F The server settings could not be saved and will be "
                                "reset at the next start."));
        QCOMPARE(h.servers->started.size(), std::size_t(1));  // hosting goes on
        h.clearLog();
        h.client->setLastFilter(3);  // the cache is written without a check
        QVERIFY(h.eventsOf("error").isEmpty());

        if (::geteuid() != 0) {  // file modes bind everybody but root
            ClientHarness ro("[Client]\nPlayer1\\Name=Zoe\n");
            QFile::setPermissions(ro.path("settings.ini"), QFile::ReadOwner);
            setOptions(*ro.client, "Kept", "Duo");
            QCOMPARE(ro.eventsOf("error").size(), 1);
            QFile::setPermissions(ro.path("settings.ini"), QFile::ReadOwner | QFile::WriteOwner);
        }
    }
};

QTEST_GUILESS_MAIN(TestClientSettings)
#include "test_clientsettings.moc"
