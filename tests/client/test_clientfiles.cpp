// The client's files: "settings.ini" read, saved and unwritable; "highscore.dat" lines; a
// joined game's replay put together from its pieces.
#include <QLocale>
#include <QSettings>
#include <QTest>

#include "client/gameresult.h"
#include "client/replayinbox.h"
#include "clientharness.h"
#include "game/replayfile.h"
#include "network/payloadcodec.h"

namespace {

const QString kOptionsLost =
    "error F The options could not be saved and will be reset at the next start.";

const QDateTime kWhen(QDate(2011, 3, 5), QTime(18, 4, 11));

void writeRaw(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Append));
    file.write(bytes);
}

// Every record read back, list by list, as "players:score names".
QStringList entries(const HighscoreFile::Lists& lists) {
    QStringList out;
    for (std::size_t i = 0; i < lists.size(); ++i) {
        for (const auto& r : lists[i]) {
            out.append(QStringLiteral("%1:%2 %3").arg(i + 1).arg(r->score()).arg(r->playerNames()));
        }
    }
    return out;
}

// Every setting in one line: the texts, then the numbers of options, hosting and cache.
QString describe(const ClientSettings& s) {
    const auto& o = s.options;
    const auto& h = s.hosting;
    const auto n = [](auto... v) { return QStringList{QString::number(int(v))...}; };
    return (QStringList{QStringList{o.name1, o.name2, h.name, h.password, s.cache.ip}.join(',')} +
            n(o.color1, o.color2, o.showIntro, o.showPreview, o.showPointer, o.showFPS,
              o.invertControl, o.ignoreColors, o.enableStatsSP, o.playSounds, o.resWidth,
              o.resHeight, o.quality, o.enableVSync, o.predictMoves, h.ranked, h.usePassword,
              h.maxPlayers, h.port, h.openPort, h.listed, h.computers, h.computerSkill,
              h.computerTakeover, s.cache.filter))
        .join(' ');
}

}  // namespace

class TestClientFiles : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void settingsDefaultsAndStoredValues() {
        ClientHarness h;
        const ClientSettings& s = h.client->settings();
        QCOMPARE(describe(s),
                 "Player1,Player2,Quadrell-Server,,... -1 -1 1 1 1 0 0 0 1 1 0 0 2 1 1 1 0 4 27403 "
                 "1 1 0 2 1 0");
        QVERIFY(!QFile::exists(h.path("settings.ini")));  // reading creates nothing

        ClientHarness stored(
            "[Client]\nPlayer1\\Name=Zoe\nPlayer1\\Color=4\n"
            "General\\ShowFPS=true\nGeneral\\PredictMoves=false\nVideo\\ResWidth=1280\n"
            "[Server]\nGeneral\\Name=Den of Zoe\nGeneral\\Port=28000\n"
            "General\\Computers=2\nGeneral\\ComputerSkill=hard\nGeneral\\ComputerTakeover=false\n"
            "General\\OpenPort=false\nGeneral\\Listed=false\n"
            "[Cache]\nGeneral\\IP=10.1.1.1:5\nGeneral\\Filter=6\n");
        QCOMPARE(describe(stored.client->settings()),
                 "Zoe,Player2,Den of Zoe,,10.1.1.1:5 4 -1 1 1 1 1 0 0 1 1 1280 0 2 1 0 1 0 4 28000 "
                 "0 0 2 3 0 6");
        // Held to the places; the tests' own policy is no host's choice.
        ClientHarness odd(
            "[Client]\nVideo\\Quality=7\n"
            "[Server]\nGeneral\\Computers=9\nGeneral\\ComputerSkill=simple\n");
        const ClientSettings::Hosting& o = odd.client->settings().hosting;
        QVERIFY(o.computers == 3 && o.computerSkill == ComputerSkill::Normal);
        QCOMPARE(odd.client->settings().options.quality, 2);
        // A quality in the file, even a bad one, was chosen: only a first start measures.
        QVERIFY(odd.client->settings().qualitySaved() && !s.qualitySaved());
        ClientHarness saved(
            "[Client]\nPlayer1\\Name=Zoe\nGeneral\\Theme=dark\n"
            "[Server]\nGeneral\\Name=Den\n[Cache]\nGeneral\\IP=10.1.1.1\n"
            "[Plugins]\nSomething\\Else=42\n");
        saved.setOptions("Zed", "Yan");
        saved.client->setColors(1, 2);
        saved.client->setLastFilter(5);
        HostRequest another = networkGame(27500, 3);
        another.hosting.name = "Another";
        another.hosting.computers = 1;
        another.hosting.computerSkill = ComputerSkill::Easy;
        another.hosting.openPort = false;
        another.hosting.listed = false;
        saved.client->hostGame(another);
        saved.client.reset();

        QSettings file(saved.path("settings.ini"), QSettings::IniFormat);
        QCOMPARE(file.value("Client/General/Theme").toString(), "dark");
        QCOMPARE(file.value("Plugins/Something/Else").toInt(), 42);
        ClientSettings again(saved.dir.path());  // the next start reads it all back
        QCOMPARE(describe(again),
                 "Zed,Yan,Another,,10.1.1.1 1 2 0 2 0 1 1 1 0 0 1920 1080 1 0 0 1 0 3 27500 0 0 1 "
                 "1 1 5");
        ClientHarness locked;
        // A directory in the file's place cannot be written, even by root.
        QVERIFY(QDir(locked.dir.path()).mkdir("settings.ini"));
        locked.setOptions("Kept", "Duo");
        locked.client->setColors(3, 4);
        QCOMPARE(locked.eventsOf("error"), (QStringList{kOptionsLost, kOptionsLost}));
        QCOMPARE(locked.client->settings().options.name1, "Kept");
        QCOMPARE(locked.client->settings().options.color1, 3);
        locked.clearLog();
        locked.client->setLastFilter(3);  // the cache is written without a check
        locked.client->hostGame(networkGame());
        QCOMPARE(locked.eventsOf("error").first(),
                 "error F The server settings could not be saved and will be reset at the "
                 "next start.");
        QCOMPARE(locked.started.size(), std::size_t(1));  // hosting goes on
    }

    void resultLinesChecksumsAndDisplay() {
        const QByteArray line = HighscoreFile::line(kWhen, 120, 5, "00:01:40", {"Ann", "Ben Lee"});
        const QString sum = GameResult::checksum(120, 5, "00:01:40", 2, "Ann Ben_Lee");
        QCOMPARE(line,
                 ("2011-03-05T18:04:11 120 5 00:01:40 2 Ann Ben_Lee Quadrell Beta 0.92 " + sum)
                     .toUtf8());
        // SHA-1 over "120500:01:402 Ann Ben_Lee" and the salt, in lower-case hex.
        QCOMPARE(sum, QString::fromLatin1(QCryptographicHash::hash(
                                              "120500:01:402 Ann Ben_LeeSalt text for every digest",
                                              QCryptographicHash::Sha1)
                                              .toHex()));
        QVERIFY(GameResult(120, 5, "00:01:40", "x", 2, "Ann Ben_Lee", sum).valid());
        QVERIFY(!GameResult(121, 5, "00:01:40", "x", 2, "Ann Ben_Lee", sum).valid());
        QVERIFY(!GameResult(120, 5, "00:01:40", "x", 1, "Ann Ben_Lee", sum).valid());
        QVERIFY(!GameResult(120, 5, "00:01:40", "x", 2, "Ann Ben_Lee", sum.toUpper()).valid());

        // How a result reads in the list.
        const auto players = [](const QString& names) {
            return GameResult(1, 1, "t", "2011-03-05T18:04:11", int(names.count(' ') + 1), names,
                              QString())
                .players();
        };
        QCOMPARE(players("Ann"), "Ann");
        QCOMPARE(players("Ann Ben"), "Ann and Ben");
        QCOMPARE(players("Ann Ben Cid Dora"), "Ann, Ben, Cid and Dora");
        QCOMPARE(GameResult(1, 1, "t", "2011-03-05T18:04:11", 1, "A", QString()).date(),
                 QLocale::system().toString(kWhen, QLocale::ShortFormat));
        // A date that does not parse is shown as stored.
        QCOMPARE(GameResult(1, 1, "t", "yesterday", 1, "A", QString()).date(), "yesterday");
        // One list per player count, highest score first, earlier lines first among equals.
        QTemporaryDir dir;
        HighscoreFile file(dir.path(), [] { return kWhen; });
        for (const auto& [score, name] :
             {std::pair{30, "first"}, std::pair{90, "top"}, std::pair{30, "second"},
              std::pair{10, "low"}, std::pair{30, "third"}}) {
            QVERIFY(file.append(score, 2, "00:00:01", {name}));
        }
        QVERIFY(file.append(70, 3, "00:00:40", {"Ann", "Ben"}));
        QVERIFY(file.append(90, 4, "00:00:50", {"A", "B", "C", "D"}));
        QFile raw(file.filePath());
        QVERIFY(raw.open(QIODevice::ReadOnly));
        QCOMPARE(raw.readAll().count("\r\n"), 7);

        const HighscoreFile::Lists lists = file.read();
        QCOMPARE(entries(lists), (QStringList{"1:90 top", "1:30 first", "1:30 second", "1:30 third",
                                              "1:10 low", "2:70 Ann Ben", "4:90 A B C D"}));
        const GameResult& four = *lists[3].front();
        QVERIFY(four.lines() == 4 && four.playtime() == "00:00:50" && four.playerCount() == 4);
        QCOMPARE(four.isoDate(), "2011-03-05T18:04:11");
        QTemporaryDir fresh;
        HighscoreFile scores(fresh.path(), [] { return kWhen; });
        QVERIFY(entries(scores.read()).isEmpty());
        writeRaw(scores.filePath(), QByteArray());
        QVERIFY(entries(scores.read()).isEmpty());

        const QByteArray good = HighscoreFile::line(kWhen, 120, 5, "00:01:40", {"Ann"});
        const QByteArray score = QByteArray(good).replace(" 120 ", " 190 ");
        const QByteArray lines = QByteArray(good).replace(" 5 ", " 6 ");
        // Written by hand with a spaced name and a checksum over that name.
        const QByteArray spaced =
            "2011-03-05T18:04:11 40 1 00:00:10 1 Ann Lee Quadrell Beta 0.92 " +
            GameResult::checksum(40, 1, "00:00:10", 1, "Ann Lee").toUtf8();
        const QByteArray countFive = "d 1 1 t 5 a b c d e Quadrell Beta 0.92 " +
                                     GameResult::checksum(1, 1, "t", 5, "a b c d e").toUtf8();
        const QByteArray countZero =
            "d 1 1 t 0 Quadrell Beta 0.92 " + GameResult::checksum(1, 1, "t", 0, "").toUtf8();
        writeRaw(scores.filePath(), score + "\r\n" + lines + "\r\n" + spaced + "\r\n" + countFive +
                                        "\r\n" + countZero + "\r\nshort line\r\n\r\n" +
                                        QByteArray(3000, 'x') + "\r\n" + good + "\n" + good);
        // A bare "\n", and a last line without any ending, keep their checksum.
        QCOMPARE(entries(scores.read()), (QStringList{"1:120 Ann", "1:120 Ann"}));
        // An append after an unended line starts a new one; long names still read back.
        const QString longName(400, QChar(0x00E9));
        QVERIFY(scores.append(8, 1, QString(500, 't'), {longName, longName, longName, longName}));
        const QString cut(12, QChar(0x00E9));
        QCOMPARE(entries(scores.read()),
                 (QStringList{"1:120 Ann", "1:120 Ann", "4:8 " + QStringList(4, cut).join(' ')}));
        QTemporaryDir settingsDir, scoresDir;
        writeRaw(settingsDir.filePath("settings.ini"), "[Client]\nPlayer1\\Name=Ann\n");
        Client::Environment env;
        env.directory = settingsDir.path();
        env.highscoreDirectory = scoresDir.path();
        const Client client(env);
        QCOMPARE(client.settings().options.name1, "Ann");
        QCOMPARE(client.highscores().filePath(), scoresDir.filePath("highscore.dat"));
    }

    // Pieces are kept only whole, in order and of the score heard: anything
    // else drops what came so far.
    void replayFromPieces() {
        ReplayFile::Writer w(12, 7, {{0, "Ann", 1, 4, 25, false}});
        w.begin(3000);
        for (int t = 1; t <= 6000; ++t) {
            w.tick({KeyCounts{t, t / 2, 0, 0, 0}});
        }
        const QByteArray bytes = w.finish({42, 0, "00:02:00"}, 123000);
        constexpr int kPiece = PayloadCodec::kReplayPieceBytes;
        const int count = int((bytes.size() + kPiece - 1) / kPiece);
        QVERIFY(count >= 2);
        const auto piece = [&](int i) { return bytes.mid(qsizetype(i) * kPiece, kPiece); };

        QTemporaryDir dir;
        ReplayInbox inbox(dir.filePath("replays"), [] { return kWhen; });
        QVERIFY(!inbox.take(0, count, piece(0)));  // nobody asked
        inbox.expect(42);
        QVERIFY(inbox.take(0, count, piece(0)));
        QVERIFY(!inbox.take(2, count, piece(2)));  // a gap
        inbox.expect(41);                          // another score than the replay's
        for (int i = 0; i < count; ++i) {
            QVERIFY(inbox.take(i, count, piece(i)));
        }
        QVERIFY(inbox.lastFile().isEmpty());
        inbox.expect(42);
        for (int i = 0; i < count; ++i) {
            QVERIFY(inbox.take(i, count, piece(i)));
        }
        QCOMPARE(QFileInfo(inbox.lastFile()).fileName(), "2011-03-05-1804-score42.qrpl");
        QFile kept(inbox.lastFile());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), bytes);
    }
};

QTEST_GUILESS_MAIN(TestClientFiles)
#include "test_clientfiles.moc"
