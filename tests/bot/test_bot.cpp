// quadrell-bot: its command line, the program listing servers, bots that share a
// dedicated server and keep to their own part of the ring, a bot through datagram loss, and a
// killed bot back in its seat; the server keeps each game as a replay that plays again to the
// result the bots heard.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "apps/bot/bot.h"
#include "apps/server/dedicatedserver.h"
#include "game/replayplayer.h"
#include "network/connectionfacades.h"
#include "server/server.h"
#include "server/serverhost.h"
#include "tests/network/nettestsupport.h"
#include "tests/support/signallog.h"

using Outcome = BotOptionsResult::Outcome;

// A field's landed cells row by row, '#' landed and '.' free.
template <typename Landed>
static QByteArray landedCells(int width, Landed landed) {
    QByteArray cells;
    for (int r = 0; r < GameField::kRows; ++r) {
        for (int c = 0; c < width; ++c) {
            cells += landed(c, r) ? '#' : '.';
        }
    }
    return cells;
}

// The one game kept in folder, played again: the result a bot heard (gameFinished).
static void checkKeptGame(const QString& folder, const QVariantList& heard) {
    const QStringList files = QDir(folder).entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    QFile file(QDir(folder).filePath(files[0]));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const ReplayFile::ReadResult read = ReplayFile::read(file.readAll());
    QVERIFY2(read.replay, qPrintable(read.error));
    const ReplayFile::Result result{heard[1].toInt(), heard[2].toInt(), heard[3].toString()};
    QCOMPARE(read.replay->result, result);
    const ReplayPlayer::Outcome again = ReplayPlayer::play(*read.replay);
    QVERIFY2(again.matches, qPrintable(ReplayPlayer::describe(again.result) + again.error));
}

// A dedicated game server on 127.0.0.1 with its files in dir.
static ServerHostOptions dedicatedHost(const QTemporaryDir& dir, const ServerTimings& timings) {
    ServerHostOptions o;
    o.settings.port = 0;
    o.address = nettest::kLocal;
    o.networkTimings = nettest::fastTimings();
    o.serverTimings = timings;
    o.masterConfig = dir.filePath("none.ini");
    o.replayFolder = dir.filePath("replays");
    o.dedicated = true;
    return o;
}

class TestBot : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void commandLine_data() {
        QTest::addColumn<QString>("args");  // separated by ',', a '/' stands for ','
        QTest::addColumn<int>("outcome");
        // Run: address name password games seed columns wait loss stats skill latency, or list json
        // wait addresses ports; Error: a part of the text.
        QTest::addColumn<QString>("options");
        const auto run = int(Outcome::Run);
        QTest::newRow("defaults") << "--connect,127.0.0.1:27403" << run
                                  << "127.0.0.1:27403 Bot - 1 1 12 1 0 - simple 0,0";
        QTest::newRow("everything")
            << "--connect=10.0.0.5:1,--name,Robo,--password,se cret,--games,"
               "3,--seed,4294967295,--columns,1,--wait-players,4,--loss,100,--stats-file,b.json,"
               "--skill,hard,--latency,100/20"
            << run << "10.0.0.5:1 Robo Pse cret 3 4294967295 1 4 100 b.json hard 100,20";
        QTest::newRow("host name") << "--connect,game.example:27403,--latency=250" << run
                                   << "game.example:27403 Bot - 1 1 12 1 0 - simple 250,0";
        QTest::newRow("list") << "--list,--json,--wait,0,--lan-address,127.0.0.1,--lan-address,"
                                 "10.0.0.255,--lan-port,1,--lan-port,65535"
                              << run << "list T 0 127.0.0.1,10.0.0.255 1,65535";
        QTest::newRow("list defaults") << "--list" << run << "list F 2000  ";
        QTest::newRow("help") << "--help" << int(Outcome::Help) << "";
        // Each bad line alone and after a good --connect; skill levels are written as the help
        // lists them; a bad latency names the option.
        for (const QString& bad :
             QStringLiteral("|--connect|--connect,127.0.0.1|--connect,:27403|--connect,127.0.0.1:0|"
                            "--json|--connect,127.0.0.1:65536|--connect,127.0.0.1:2x|"
                            "--list,--wait,-1|--list,--wait,x|--list,--lan-port,0|"
                            "--list,--lan-address,::1|--list,--lan-address,lan|"
                            "--list,--master-config,none.ini")
                 .split('|')) {
            QTest::newRow(qPrintable("bad " + bad)) << bad << int(Outcome::Error) << "";
        }
        for (const QString& bad :
             QStringLiteral("--json|--connect,127.0.0.1:2|--name, |--password,|--games,0|"
                            "--seed,-1|--seed,4294967296|--columns,13|--wait-players,5|--loss,101|"
                            "--stats-file,|--bogus|stray|--skill,|--skill,Hard|--skill,expert|"
                            "--latency|--latency=|--latency,20/100|--latency,1/1,--latency,2")
                 .split('|')) {
            QTest::newRow(qPrintable("bad after --connect " + bad))
                << "--connect,127.0.0.1:1," + bad << int(Outcome::Error)
                << (bad.startsWith("--latency") ? "latency" : "");
        }
    }

    void commandLine() {
        QFETCH(QString, args);
        QFETCH(int, outcome);
        QFETCH(QString, options);
        const BotOptionsResult r = parseBotOptions(
            QStringList{"quadrell-bot"} +
            (args.isEmpty() ? QStringList() : args.split(',').replaceInStrings("/", ",")));
        QCOMPARE(int(r.outcome), outcome);
        QVERIFY(!r.text.isEmpty() || outcome == int(Outcome::Run));
        const BotOptions& o = r.options;
        const auto n = [](auto v) { return QString::number(v); };
        const auto orDash = [](const QString& s) { return s.isEmpty() ? "-" : s; };
        QStringList to;
        for (const QHostAddress& a : o.lanTo) {
            to << a.toString();
        }
        const QString latency = n(o.latency.roundTripMs) + ',' + n(o.latency.jitterMs);
        const QStringList seen =
            o.list ? QStringList{"list", o.json ? "T" : "F", n(o.waitMs), to.join(','),
                                 joinedNumbers(o.lanPorts)}
                   : QStringList{o.address,          o.name,           orDash(o.password),
                                 n(o.games),         n(o.seed),        n(o.columns),
                                 n(o.waitPlayers),   n(o.lossPercent), orDash(o.statsFile),
                                 skillName(o.skill), latency};
        if (outcome == int(Outcome::Error)) {
            QVERIFY2(r.text.contains(options), qPrintable(r.text));
        } else if (outcome == int(Outcome::Run)) {
            QCOMPARE(seen.join(' '), options);
        }
    }

    // The program lists in text and JSON; an empty list is no error, a lost server is.
    void programLists() {
        QTemporaryDir dir;
        const auto run = [&dir](const QStringList& args) {
            QProcess p;
            p.setWorkingDirectory(dir.path());  // no masterserver.ini there
            p.start(QStringLiteral(QUADRELL_BOT_PROGRAM), args);
            p.waitForFinished(60000);
            return std::pair(p.exitCode(), QString::fromUtf8(p.readAllStandardOutput() +
                                                             p.readAllStandardError()));
        };
        QProcess server;
        server.setWorkingDirectory(dir.path());
        server.start(
            QStringLiteral(QUADRELL_SERVER_PROGRAM),
            {"--port", "0", "--name", "Open  house", "--password", "x", "--max-players", "3"});
        QTRY_VERIFY_WITH_TIMEOUT(server.canReadLine(), 10000);
        const QString port = QString::fromUtf8(server.readLine()).section(' ', -1).trimmed();
        const QStringList list{"--list",    "--wait",     "700", "--lan-address",
                               "127.0.0.1", "--lan-port", port};

        const auto [textCode, text] = run(list);
        QCOMPARE(textCode, 0);
        QVERIFY2(QRegularExpression(R"(^Open house\t127\.0\.0\.1:)" + port +
                                    R"(\t0/3\t\d+ ms\tBeta 0\.92\tpassword,lan\n$)")
                     .match(text)
                     .hasMatch(),
                 qPrintable(text));
        const auto [jsonCode, json] = run(list + QStringList{"--json"});
        QCOMPARE(jsonCode, 0);
        const QJsonArray array = QJsonDocument::fromJson(json.toUtf8()).array();
        QCOMPARE(array.size(), 1);
        const QJsonObject o = array.first().toObject();
        QCOMPARE(o.value("name").toString(), "Open house");
        QCOMPARE(o.value("port").toInt(), port.toInt());
        QCOMPARE(o.value("maxPlayers").toInt(), 3);
        QVERIFY(o.value("password").toBool() && o.value("lan").toBool() &&
                !o.value("ranked").toBool());

        server.terminate();
        QVERIFY(server.waitForFinished(10000));

        QCOMPARE(run(list + QStringList{"--json"}), std::pair(0, QStringLiteral("[]\n")));
        QCOMPARE(run(list), std::pair(0, QString()));
        QCOMPARE(run({"--connect", "127.0.0.1:" + port}),
                 std::pair(1, QStringLiteral(
                                  "quadrell-bot: The server '127.0.0.1:%1' could not be found.\n")
                                  .arg(port)));
    }

    // Two bots on a dedicated server fill only two columns of their own parts; one game end.
    void botsKeepToTheirPartOfTheRing() {
        QTemporaryDir dir;
        DedicatedOptions o;
        o.port = 0;
        o.masterConfig = dir.filePath("none.ini");
        o.stateDir = dir.path();
        DedicatedServer server(o, nettest::fastTimings(), {.countdownMs = 50});
        QVERIFY(server.start());

        ClientNetwork net;
        net.timings = nettest::fastTimings();
        std::vector<std::unique_ptr<Bot>> bots;
        std::vector<std::unique_ptr<QSignalSpy>> games, ends;
        for (std::uint32_t seed : {1, 2}) {
            BotOptions b;
            b.address = QStringLiteral("127.0.0.1:%1").arg(server.port());
            b.name = QStringLiteral("Bot%1").arg(seed);
            b.seed = seed;
            b.columns = 2;
            b.waitPlayers = 2;  // no game before both are there
            bots.push_back(std::make_unique<Bot>(b, net));
            games.push_back(std::make_unique<QSignalSpy>(bots.back().get(), &Bot::gameFinished));
            ends.push_back(std::make_unique<QSignalSpy>(bots.back().get(), &Bot::finished));
            bots.back()->start();
            // One after the other, so that the list (and the parts) are in this order.
            QTRY_VERIFY(bots.back()->client().state() >= int(GamePlayer::Waiting));
        }
        for (const auto& end : ends) {
            QTRY_COMPARE_WITH_TIMEOUT(end->count(), 1, 60000);
            QCOMPARE(end->first(), (QVariantList{0, QString()}));
        }
        QVERIFY(games[0]->size() == 1 && games[1]->size() == 1);
        QCOMPARE(games[0]->first(), games[1]->first());

        const FieldMirror& field = bots[0]->mirror();
        QCOMPARE(field.fieldsizeX(), 24);
        const QByteArray cells = landedCells(24, [&](int c, int r) { return field.landed(c, r); });
        QSet<int> columns;
        for (qsizetype i = cells.indexOf('#'); i >= 0; i = cells.indexOf('#', i + 1)) {
            columns.insert(int(i % 24));
        }
        QCOMPARE(columns, (QSet<int>{0, 1, 12, 13}));
        checkKeptGame(dir.filePath("replays"), games[0]->first());
        // Each joiner was handed the server's file, in pieces, after the game over.
        const QStringList kept = QDir(dir.filePath("replays")).entryList(QDir::Files);
        QFile served(dir.filePath("replays/" + kept.value(0)));
        QVERIFY(served.open(QIODevice::ReadOnly));
        const QByteArray bytes = served.readAll();
        for (const auto& bot : bots) {
            QTRY_VERIFY(!bot->client().replays().lastFile().isEmpty());
            QFile got(bot->client().replays().lastFile());
            QVERIFY(got.open(QIODevice::ReadOnly));
            QCOMPARE(got.readAll(), bytes);
        }
    }

    // A bot losing a fifth of its datagrams, delayed 20 ms give or take 20 (the server's 10 give or
    // take 10, so they overtake), plays to the end: after each landing its field and lines are the
    // server's (reliable messages keep order, so the n-th landing is the same on both sides).
    void botPlaysThroughDatagramLoss() {
        QTemporaryDir dir;
        // A faster game, the same rules.
        const ServerHostOptions o = dedicatedHost(dir, {.tickMs = 5, .countdownMs = 20});
        ServerHost host(o);
        QVERIFY(host.listen());
        const GameSimulation& sim = host.start()->simulation();

        using Landing = std::pair<QByteArray, int>;  // landed cells, lines
        QList<Landing> serverSide, botSide;
        int serverLines = -1;
        int lastNumber = 0;  // resends carry old numbers
        // Seen on the way out; rows clear after a merge goes out: the field is read after the tick.
        ConnectionCore* datagramSide = nullptr;
        for (NetServerConnection* c : host.server()->findChildren<NetServerConnection*>()) {
            if (!c->core().transport().isStream()) {
                datagramSide = &c->core();
            }
        }
        QVERIFY(datagramSide != nullptr);
        datagramSide->lossSimulation().delay(Latency{10, 10}, 5);  // the shared socket's side too
        datagramSide->lossSimulation().dropOutgoing = [&](const ConnectionMessage& m) {
            if (m.number <= lastNumber) {
                return false;
            }
            lastNumber = m.number;
            if (m.type == "SSTP") {
                serverLines = m.content.section(' ', 1, 1).toInt();
            } else if (m.type == "SMRG") {
                QTimer::singleShot(0, &host, [&] {
                    const auto landed = [&](int c, int r) {
                        return sim.field().cell(c, r) == GameField::kFieldBlockId;
                    };
                    // The game-ending landing: the field went with the game.
                    serverSide << (sim.running()
                                       ? Landing{landedCells(sim.fieldsizeX(), landed), sim.lines()}
                                       : Landing{});
                });
            }
            return false;
        };

        BotOptions b;
        b.address = QStringLiteral("127.0.0.1:%1").arg(host.port());
        b.lossPercent = 20;
        b.latency = Latency{20, 20};
        ClientNetwork net;
        net.timings = nettest::fastTimings();
        Bot bot(b, net);
        connect(&bot.client().game(), &ClientGame::mergeBlocks, this, [&] {
            const FieldMirror& m = bot.mirror();  // the bot took the merge first
            botSide << Landing{
                landedCells(m.fieldsizeX(), [&](int c, int r) { return m.landed(c, r); }),
                m.lines()};
        });
        QSignalSpy games(&bot, &Bot::gameFinished);
        bot.start();
        QTRY_COMPARE_WITH_TIMEOUT(games.size(), 1, 120000);
        QCOMPARE(games.first()[2].toInt(), serverLines);
        int compared = 0;
        for (qsizetype i = 0; i < std::min(serverSide.size(), botSide.size()); ++i) {
            if (!serverSide[i].first.isEmpty()) {
                QCOMPARE(botSide[i], serverSide[i]);
                ++compared;
            }
        }
        // The bot leaves when its lines match: the last landings may still be on the way.
        QVERIFY2(compared > serverSide.size() / 2, qPrintable(QString::number(compared)));
        checkKeptGame(o.replayFolder, games.first());
    }

    // Four bots play and one is killed mid-game; no computer stands in, so
    // its piece waits. Its seat file with another token gets nothing; the bot
    // started again with --reconnect is back in its slot, the four see the
    // same game over, and the kept replay plays again to it.
    void killedBotComesBackIntoItsSeat() {
        QTemporaryDir dir;
        ServerHostOptions o = dedicatedHost(dir, {.countdownMs = 50});
        o.settings.computerTakeover = false;
        ServerHost host(o);
        QVERIFY(host.listen());
        const Server& server = *host.start();
        const GameSimulation& sim = server.simulation();
        const auto bot = [&](const QString& name, const QString& seatFile = {}) {
            auto p = std::make_unique<QProcess>();
            p->setWorkingDirectory(dir.path());
            p->setProcessChannelMode(QProcess::MergedChannels);
            QStringList args{"--connect",      QStringLiteral("127.0.0.1:%1").arg(host.port()),
                             "--name",         name,
                             "--wait-players", "4",
                             "--columns",      "6"};
            if (!seatFile.isEmpty()) {
                args << "--reconnect" << seatFile;
            }
            p->start(QStringLiteral(QUADRELL_BOT_PROGRAM), args);
            return p;
        };
        std::vector<std::unique_ptr<QProcess>> bots;
        for (const char* name : {"A", "B", "C"}) {
            bots.push_back(bot(name));
        }
        const QString seat = dir.filePath("seat.ini");
        std::unique_ptr<QProcess> dropped = bot("D", seat);
        QTRY_VERIFY_WITH_TIMEOUT(sim.running() && sim.tickCount() > 25, 60000);
        int slot = 0;
        while (sim.player(slot)->name() != "D") {
            ++slot;
        }
        const int connId = sim.player(slot)->connId();
        // The server runs on this thread: the waits below must keep its events going.
        const auto ended = [](const QProcess& p) { return p.state() == QProcess::NotRunning; };
        dropped->kill();
        QTRY_VERIFY(ended(*dropped));
        QTRY_COMPARE(server.sessions().heldIds(), QList<int>{connId});

        const QString forged = dir.filePath("forged.ini");
        QVERIFY(QFile::copy(seat, forged));
        QSettings(forged, QSettings::IniFormat).setValue("Seat/Token", QString(32, '0'));
        std::unique_ptr<QProcess> stranger = bot("D", forged);
        QTRY_VERIFY_WITH_TIMEOUT(ended(*stranger), 60000);
        QCOMPARE(stranger->exitCode(), 1);
        QVERIFY(stranger->readAll().contains("could not be reached again"));

        bots.push_back(bot("D", seat));
        QVERIFY(sim.player(slot)->away());
        QTRY_VERIFY_WITH_TIMEOUT(!sim.player(slot)->away(), 30000);
        QStringList results;
        for (const auto& p : bots) {
            QTRY_VERIFY_WITH_TIMEOUT(ended(*p), 120000);
            const QString out = QString::fromUtf8(p->readAll());
            QVERIFY2(p->exitCode() == 0, qPrintable(out));
            results << out.section('\n', 0, 0);
        }
        QCOMPARE(results, QStringList(4, results[0]));
        const QRegularExpressionMatch heard =
            QRegularExpression(R"(^game 1: score (\d+), lines (\d+), playtime (\S+)$)")
                .match(results[0]);
        QVERIFY2(heard.hasMatch(), qPrintable(results[0]));
        checkKeptGame(o.replayFolder,
                      {1, heard.captured(1).toInt(), heard.captured(2).toInt(), heard.captured(3)});
    }
};

QTEST_GUILESS_MAIN(TestBot)
#include "test_bot.moc"
