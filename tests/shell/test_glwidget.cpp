// The widget in the main window with a real Client: whole games by key, and a hostile server.
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

#include "game/appinfo.h"
#include "network/payloadcodec.h"
#include "tests/shell/gamewindow.h"

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
                        // Genuine, with slot counts that overflow when the lobby sizes its list.
                        const QString info = PayloadCodec::buildServerInfo(
                            QString::fromLatin1(Quadrell::kVersion), false, 2147483647, 2147483647,
                            false, QString(500, 'E'));
                        udp_.writeDatagram(ConnectionMessage("SIN", info).encode(),
                                           d.senderAddress(), d.senderPort());
                    } else if (m.type == "CHI") {
                        peerPort_ = d.senderPort();
                        toDatagram("SHI", "0 F");
                    }
                }
            }
        });
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

// Ann at 800x600, and easy computers.
const QByteArray kSettings = "Player1\\Name=Ann\nVideo\\ResWidth=800\nVideo\\ResHeight=600\n";

}  // namespace

class TestGLWidget : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Keys and pointer at the surface without a click; computers seated and kicked
    // by key, a whole game; the highscore names both.
    void singleplayerGameThroughTheWidget_data() {
        QTest::addColumn<int>("roundTripMs");
        QTest::newRow("loopback") << 0;
        QTest::newRow("100 ms round trip") << 100;
    }
    void singleplayerGameThroughTheWidget() {
        QFETCH(int, roundTripMs);
        GameWindow window(kSettings, Latency{roundTripMs, roundTripMs / 5});
        GLWidget& w = window.w();
        QVERIFY(QTest::qWaitForWindowExposed(window.window.get()));
        GameSurface& surface = w.surface();
        window.window->activateWindow();  // as a window manager does with a new window
        QTRY_COMPARE(QGuiApplication::focusWindow(), &surface);
        GuiController& gui = window.gui();
        QCOMPARE(surface.cursor().shape(), Qt::BitmapCursor);  // the game's own in menus
        QTest::keyClick(&surface, Qt::Key_Down);
        QCOMPARE(gui.menus().currentEntry(), 1);
        QTest::keyClick(&w, Qt::Key_Tab);  // the game's, not the focus chain's
        QCOMPARE(QGuiApplication::focusWindow(), &surface);
        // The pointer finds the entries in the surface's own coordinates.
        QTRY_VERIFY(gui.menus().hitMap().size() > 2);
        QTest::mouseMove(&surface, gui.menus().hitMap().last().center());
        QTRY_COMPARE(gui.menus().currentEntry(), gui.menus().hitMap().lastKey());
        const auto names = [&] {
            QStringList out;
            for (int i = 0; i < gui.session().players().positions(); ++i) {
                const PlayerTable::Player* p = gui.session().players().atPosition(i);
                out.append(p != nullptr ? p->name : QString());
            }
            return out;
        };

        QTest::mouseClick(&surface, Qt::LeftButton, {}, gui.menus().hitMap().value(0).center());
        QTRY_COMPARE(gui.session().stack().base(), GuiState::Lobby);  // "Singleplayer"
        QTRY_VERIFY(!gui.input().inputLocked());
        QTRY_COMPARE(names(), (QStringList{"Ann", "", "", ""}));
        QTest::keyClick(&w, Qt::Key_C);
        QTest::keyClick(&w, Qt::Key_C);
        QTRY_COMPARE(names(), (QStringList{"Ann", "CPU_1", "CPU_2", ""}));
        // The code the client hands the GUI is what Ctrl+C copies.
        Q_EMIT window.client->screen().displayInviteCode("ABCD-EFGH");
        QTest::keyClick(&w, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), "ABCD-EFGH");
        QTest::keyClick(&w, Qt::Key_Return);  // the kick list's first: CPU_1
        QTRY_COMPARE(names(), (QStringList{"Ann", "", "CPU_2", ""}));
        QTest::keyClick(&w, Qt::Key_R);  // the computer is ready already
        QTRY_VERIFY_WITH_TIMEOUT(gui.session().score().running(), 20000);
        QCOMPARE(gui.session().fieldsizeX(), 24);
        // The server measures the round trip asked for.
        QTRY_VERIFY(gui.session().players().ping(0) >= roundTripMs * 4 / 5);
        QCOMPARE(gui.session().stack().base(), GuiState::Game);
        gui.session().setWindowed(false);  // full screen: no pointer over the game
        QCOMPARE(surface.cursor().shape(), Qt::BlankCursor);
        QTest::keyPress(&w, Qt::Key_Tab);  // the game's player list
        QVERIFY(gui.session().tabHeld());
        QTest::keyRelease(&w, Qt::Key_Tab);

        const auto over = [&] { return window.lobbyText().startsWith("GAME OVER"); };
        for (int i = 0; i < 600 && !over(); ++i) {  // Space until the game is over
            QTest::keyClick(&w, Qt::Key_Space);
            QTest::qWait(25);
        }
        QTRY_VERIFY(over());
        QVERIFY(gui.input().keys().counters()[4] > 0);
        const HighscoreFile::Lists lists = window.client->highscores().read();
        QCOMPARE(lists[1].size(), std::size_t(1));
        QVERIFY(lists[1].front()->valid());
        QCOMPARE(lists[1].front()->playerNames(), "Ann CPU_2");
        QCOMPARE(lists[1].front()->score(), gui.session().score().shownScore());

        const QImage shot = window.screenshot();
        QCOMPARE(shot.size(), QSize(800, 600) * surface.devicePixelRatio());
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

    // The first start measures and saves the quality, and says which.
    void firstStartFindsTheBestQuality() {
        GameWindow window(kSettings, {}, true);
        QVERIFY(QTest::qWaitForWindowExposed(window.window.get()));
        const QString dir = window.dir.path();
        QTRY_VERIFY_WITH_TIMEOUT(ClientSettings(dir).qualitySaved(), 60000);
        const int chosen = ClientSettings(dir).options.quality;
        QCOMPARE(window.gui().menus().options().quality, chosen);
        const QString said = window.w().measuringLine();
        QVERIFY2(said.startsWith("Visual quality: " + MenuModel::qualityName(chosen) + " (") &&
                     said.endsWith(" at 800x600)"),
                 qPrintable(said));
        QCOMPARE(window.gui().session().stack().top(), GuiState::MainMenu);
    }

    // A stranger's numbers cannot end the window; it keeps answering keys.
    void strangersServerCannotEndTheWindow() {
        HostileServer evil;
        QVERIFY(evil.port > 0);
        GameWindow window(kSettings);
        Client& client = *window.client;
        GLWidget& w = window.w();
        QVERIFY(QTest::qWaitForWindowExposed(window.window.get()));
        const GuiController& gui = window.gui();
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
        QVERIFY(chat.first()[1].toString().size() <= 100 && painted());

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
        for (const char* kind : {"SHI", "SPLR", "SMSG", "SPNG", "SSRT", "SRST", "SCST", "SBLC",
                                 "SMVE", "SMRG", "SPSE", "SSTP"}) {
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
