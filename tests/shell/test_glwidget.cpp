// The widget and a real Client on a display: whole games by key, and a hostile server.
#include <QGuiApplication>
#include <QImage>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

#include "client/client.h"
#include "game/appinfo.h"
#include "gui/glwidget.h"
#include "network/payloadcodec.h"
#include "shell/guiwiring.h"
#include "tests/network/nettestsupport.h"
#include "tests/support/localhosting.h"

namespace {

// Lets a client join (probe, both hellos, id 0), then sends what the test says.
class HostileServer : public QObject {
public:
    HostileServer() {
        for (int i = 0; i < 8 && port <= 0; ++i) {
            tcp_.close();
            if (tcp_.listen(nettest::kLocal, 0) && udp_.bind(nettest::kLocal, tcp_.serverPort())) {
                port = tcp_.serverPort();
            }
        }
        connect(&tcp_, &QTcpServer::newConnection, this, [this] {
            stream_ = tcp_.nextPendingConnection();
            connect(stream_, &QTcpSocket::readyRead, this, [this] {
                if (stream_->readAll().startsWith("CHI ")) {
                    toStream("SHI", "0 F");
                }
            });
        });
        connect(&udp_, &QUdpSocket::readyRead, this, [this] {
            while (udp_.hasPendingDatagrams()) {
                const QNetworkDatagram d = udp_.receiveDatagram();
                QList<ConnectionMessage> in;
                MessageDecoder(MessageDecoder::Mode::Datagram).feed(d.data(), in);
                for (const ConnectionMessage& m : in) {
                    if (m.type == "CIN") {
                        udp_.writeDatagram(ConnectionMessage("SIN", info()).encode(),
                                           d.senderAddress(), d.senderPort());
                    } else if (m.type == "CHI") {
                        peerPort_ = d.senderPort();
                        toDatagram("SHI", "0 F");
                    }
                }
            }
        });
    }
    static QString info() {
        // Genuine, with slot counts that overflow when the lobby sizes its list.
        return PayloadCodec::buildServerInfo(QString::fromLatin1(Quadrell::kVersion), false,
                                             2147483647, 2147483647, false, QString(500, 'E'));
    }
    void toStreamRaw(const QByteArray& bytes) { stream_->write(bytes); }
    void toStream(const QString& type, const QString& content) {
        toStreamRaw(ConnectionMessage(type, content).encode());
    }
    void toDatagram(const QString& type, const QString& content) {
        udp_.writeDatagram(ConnectionMessage(type, content).encode(), nettest::kLocal, peerPort_);
    }
    void toBoth(const QString& type, const QString& content) {
        toStream(type, content);
        toDatagram(type, content);
    }

    int port = -1;

private:
    QTcpServer tcp_;
    QUdpSocket udp_;
    QTcpSocket* stream_ = nullptr;  // a child of the listener
    quint16 peerPort_ = 0;
};

// Widget and client wired as the program does; Ann, easy computers, a free port.
struct Window {
    explicit Window(bool ownServer, Latency latency = {}, bool measureQuality = false)
        : net(network(latency)),
          client(environment(dir, quits), net,
                 threadServerStarter(ownServer ? localHosting(net.timings, dir.path())
                                               : ThreadHosting{})),
          w(&client, 800, 600, nullptr, guiEnvironment(dir.path(), measureQuality)) {
        connectGuiAndClient(w, client);
        w.resize(800, 600);
        w.show();
    }
    static ClientNetwork network(Latency latency) {
        ClientNetwork n;
        n.timings = nettest::fastTimings();
        n.latency = latency;
        return n;
    }
    static GuiEnvironment guiEnvironment(const QString& directory, bool measureQuality) {
        GuiEnvironment env;
        env.screenshotDirectory = directory;
        env.continuousRepaint = false;
        env.measureQualityAtFirstStart = measureQuality;
        return env;
    }
    static Client::Environment environment(const QTemporaryDir& dir, QList<int>& quits) {
        QFile ini(dir.filePath("settings.ini"));
        ini.open(QIODevice::WriteOnly);  // Ann's name in the lobby shows it was read
        ini.write(
            "[Client]\nGeneral\\ShowIntro=false\nPlayer1\\Name=Ann\n"
            "[Server]\nGeneral\\Port=0\nGeneral\\ComputerSkill=easy\n");
        Client::Environment env;
        env.directory = dir.path();
        env.quit = [&quits](int code) { quits.append(code); };
        return env;
    }
    GuiController& gui() { return w.controller(); }
    QString lobbyText() { return gui().session().stack().messages().first(); }
    // Presses Space until the game is over.
    void dropUntilOver() {
        const auto over = [&] { return lobbyText().startsWith("GAME OVER"); };
        for (int i = 0; i < 600 && !over(); ++i) {
            QTest::keyClick(&w, Qt::Key_Space);
            QTest::qWait(25);
        }
        QTRY_VERIFY(over());
    }
    // The screenshot F11 writes first.
    QImage screenshot() {
        QTest::keyClick(&w, Qt::Key_F11);
        return QImage(dir.filePath("screenshots/sc_00000.png"));
    }

    QTemporaryDir dir;
    QList<int> quits;
    ClientNetwork net;
    Client client;
    GLWidget w;
};

}  // namespace

class TestGLWidget : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Computers seated and kicked by key, a whole game; the highscore names both.
    void singleplayerGameThroughTheWidget_data() {
        QTest::addColumn<int>("roundTripMs");
        QTest::newRow("loopback") << 0;
        QTest::newRow("100 ms round trip") << 100;
    }
    void singleplayerGameThroughTheWidget() {
        QFETCH(int, roundTripMs);
        Window window(true, Latency{roundTripMs, roundTripMs / 5});
        GLWidget& w = window.w;
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const GuiController& gui = w.controller();
        QCOMPARE(w.surface().cursor().shape(), Qt::BitmapCursor);  // the game's own in menus
        const auto names = [&] {
            QStringList out;
            for (int i = 0; i < gui.session().players().positions(); ++i) {
                const PlayerTable::Player* p = gui.session().players().atPosition(i);
                out.append(p != nullptr ? p->name : QString());
            }
            return out;
        };

        QTest::keyClick(&w, Qt::Key_Return);  // "Singleplayer"
        QTRY_COMPARE(gui.session().stack().base(), GuiState::Lobby);
        QTRY_VERIFY(!gui.input().inputLocked());
        QTRY_COMPARE(names(), (QStringList{"Ann", "", "", ""}));
        QVERIFY(window.lobbyText().contains("Press 'c' to add a computer player."));
        QTest::keyClick(&w, Qt::Key_C);
        QTest::keyClick(&w, Qt::Key_C);
        QTRY_COMPARE(names(), (QStringList{"Ann", "CPU_1", "CPU_2", ""}));
        QTest::keyClick(&w, Qt::Key_Return);  // the kick list's first: CPU_1
        QTRY_COMPARE(names(), (QStringList{"Ann", "", "CPU_2", ""}));
        QTest::keyClick(&w, Qt::Key_R);  // the computer is ready already
        QTRY_VERIFY_WITH_TIMEOUT(gui.session().score().running(), 20000);
        QCOMPARE(gui.session().fieldsizeX(), 24);
        // The server measures the round trip asked for.
        QTRY_VERIFY(gui.session().players().ping(0) >= roundTripMs * 4 / 5);
        QCOMPARE(gui.session().stack().base(), GuiState::Game);
        QCOMPARE(w.surface().cursor().shape(), Qt::BlankCursor);  // none over the game

        // Tab stays in the widget: the game's player list, not the focus chain.
        QTest::keyPress(&w, Qt::Key_Tab);
        QVERIFY(gui.session().tabHeld());
        QTest::keyRelease(&w, Qt::Key_Tab);

        window.dropUntilOver();
        QVERIFY(gui.input().keys().counters()[4] > 0);
        const HighscoreFile::Lists lists = window.client.highscores().read();
        QCOMPARE(lists[1].size(), std::size_t(1));
        QVERIFY(lists[1].front()->valid());
        QCOMPARE(lists[1].front()->playerNames(), "Ann CPU_2");
        QCOMPARE(lists[1].front()->score(), gui.session().score().shownScore());

        const QImage shot = window.screenshot();
        QCOMPARE(shot.size(), QSize(800, 600));
        // The field the game ended with lies under the 2D layer: Ann's red
        // boxes. How many landed before the end depends on how fast the
        // computer beside her played: from 1,600 pixels on a busy machine.
        int red = 0;
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = 0; x < shot.width(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                red += c.red() > 120 && c.green() < 60 && c.blue() < 60 ? 1 : 0;
            }
        }
        QVERIFY2(red > 800, qPrintable(QString::number(red)));

        QTRY_COMPARE(gui.session().stack().base(), GuiState::Lobby);  // ready for the next game
        QTRY_VERIFY(!gui.input().inputLocked());
        QTest::keyClick(&w, Qt::Key_Escape);
        QTest::keyClick(&w, Qt::Key_Up);
        QTest::keyClick(&w, Qt::Key_Return);  // "Exit program"
        QTRY_COMPARE(window.quits, QList<int>{0});
    }

    // Keys and pointer reach the game at the surface without a click; Tab stays.
    void theSurfaceHoldsKeysAndPointer() {
        Window window(false);
        GLWidget& w = window.w;
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        GameSurface& surface = w.surface();
        w.activateWindow();  // as a window manager does with a new window
        QTRY_COMPARE(QGuiApplication::focusWindow(), &surface);
        GuiController& gui = w.controller();
        QCOMPARE(gui.session().stack().top(), GuiState::MainMenu);

        const int entry = gui.menus().currentEntry();
        QTest::keyClick(&surface, Qt::Key_Down);
        QCOMPARE(gui.menus().currentEntry(), entry + 1);
        QTest::keyClick(&w, Qt::Key_Up);
        QCOMPARE(gui.menus().currentEntry(), entry);
        QTest::keyClick(&surface, Qt::Key_Tab);
        QTest::keyClick(&w, Qt::Key_Tab);
        QCOMPARE(QGuiApplication::focusWindow(), &surface);
        QCOMPARE(gui.menus().currentEntry(), entry);

        // The pointer finds the entries in the surface's own coordinates.
        QTRY_VERIFY(gui.menus().hitMap().size() > 1);
        const int lastEntry = gui.menus().hitMap().lastKey();
        QVERIFY(lastEntry != entry);
        QTest::mouseMove(&surface, gui.menus().hitMap().last().center());
        QTRY_COMPARE(gui.menus().currentEntry(), lastEntry);

        const QImage shot = window.screenshot();
        QCOMPARE(shot.size(), QSize(800, 600) * surface.devicePixelRatio());
    }

    // The first start measures and saves the quality, and says which.
    void firstStartFindsTheBestQuality() {
        Window window(true, {}, true);
        QVERIFY(QTest::qWaitForWindowExposed(&window.w));
        const QString dir = window.dir.path();
        QTRY_VERIFY_WITH_TIMEOUT(ClientSettings(dir).qualitySaved(), 60000);
        const int chosen = ClientSettings(dir).options.quality;
        QCOMPARE(window.gui().menus().options().quality, chosen);
        const QString said = window.w.measuringLine();
        QVERIFY2(said.startsWith("Visual quality: " + MenuModel::qualityName(chosen) + " ("),
                 qPrintable(said));
        QVERIFY2(said.endsWith(" at 800x600)"), qPrintable(said));
        QCOMPARE(window.gui().session().stack().top(), GuiState::MainMenu);
    }

    // A stranger's numbers cannot end the window; it keeps answering keys.
    void strangersServerCannotEndTheWindow() {
        HostileServer evil;
        QVERIFY(evil.port > 0);
        Window window(false);
        Client& client = window.client;
        GLWidget& w = window.w;
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const GuiController& gui = w.controller();
        QSignalSpy chat(&client.screen(), &ClientScreen::displayChatMessage);
        const auto painted = [&] {
            w.update();
            return QTest::qWaitForWindowExposed(&w) && !w.grabFramebuffer().isNull();
        };

        client.joinGame(false, QStringLiteral("127.0.0.1:%1").arg(evil.port), false, QString());
        QTRY_COMPARE(gui.session().stack().base(), GuiState::Lobby);
        const QString big = QString::number(2147483647);
        const QString small = QString::number(-2147483647 - 1);
        evil.toStream("SPLR", big + " Evil 3 2 -1  -1 0 -1  -1 0 " + small + " x 99 77");
        evil.toStream("SPLR", "0 " + QString(60000, 'n') + " 99 77 -1  -1 0 -1  -1 0 -1  -1 0");
        const auto first = [&] { return gui.session().players().atPosition(0); };
        QTRY_VERIFY(first() != nullptr);
        QCOMPARE(first()->name, QString(12, 'n'));
        QCOMPARE(gui.session().players().positions(), 4);
        evil.toDatagram("SMSG", "0 " + QString(60000, 'c'));
        QTRY_COMPARE(chat.size(), 1);
        QVERIFY(chat.first()[1].toString().size() <= 100);
        QVERIFY(painted());

        // A late joiner's snapshot of 2,000 blocks, on both ways in.
        QString blocks;
        for (int i = 1; i <= 2000; ++i) {
            blocks += i <= 10 ? QStringLiteral(" %1 %2 %3 %2 %3 %2").arg(i).arg(big, small)
                              : QStringLiteral(" %1 9 -9 99999 -99999 7").arg(i);
        }
        evil.toBoth("SCST", big + " F " + small + " 00:00 " + QString(700, 'w') + blocks);
        QTRY_COMPARE(gui.session().stack().base(), GuiState::Game);
        QCOMPARE(gui.session().fieldsizeX(), 48);
        QString moves;
        for (int i = 0; i < 2000; ++i) {
            moves += QStringLiteral("%1 99999 -99999 7 ").arg(i % 9);
        }
        evil.toBoth("SBLC", "9 " + big + " " + small + " " + big + " " + small + " " + big);
        evil.toBoth("SMVE", moves + big + " " + small);
        evil.toBoth("SMRG", moves.trimmed());
        evil.toBoth("SPNG", big + " " + small + " 0 " + big);
        evil.toBoth("SPSE", big + " " + big);
        QVERIFY(painted());
        evil.toBoth("SSTP", small + " " + big + " " + QString(30000, 't'));
        evil.toBoth("SSRT", small + " " + big + " " + big);
        evil.toBoth("SRST", big);
        QVERIFY(painted());

        // Every kind cut short, then broken framing ends the game with a word.
        const QStringList kinds{"SHI",  "SPLR", "SMSG", "SPNG", "SSRT", "SRST",
                                "SCST", "SBLC", "SMVE", "SMRG", "SPSE", "SSTP"};
        for (const QString& kind : kinds) {
            for (const QString& cut : {QString(), QStringLiteral("1"), QStringLiteral("1 ")}) {
                evil.toBoth(kind, cut);
            }
        }
        QVERIFY(painted());
        QCOMPARE(gui.session().stack().showingError(), false);
        evil.toStreamRaw("SPLR 99999999 N 0 Evil");
        QTRY_VERIFY(gui.session().stack().showingError());
        QVERIFY(gui.session().stack().messages().join('\n').contains(
            "The connection to the server was lost."));
        QCOMPARE(gui.session().stack().base(), GuiState::MainMenu);
        // Still answering keys once the notice is gone: the main menu's pointer moves.
        QTRY_COMPARE_WITH_TIMEOUT(gui.session().stack().top(), GuiState::MainMenu, 10000);
        const int entry = gui.menus().currentEntry();
        QTest::keyClick(&w, Qt::Key_Down);
        QTRY_VERIFY(gui.menus().currentEntry() != entry);
        QVERIFY(painted());
    }
};

QTEST_MAIN(TestGLWidget)
#include "test_glwidget.moc"
