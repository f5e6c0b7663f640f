// "highscore.dat": the checksummed line, reading back with every rule that
// drops a line, the order within each player count, and the display forms.
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include "client/gameresult.h"
#include "client/highscorefile.h"

namespace {

const QDateTime kWhen(QDate(2011, 3, 5), QTime(18, 4, 11));

void writeRaw(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Append));
    file.write(bytes);
}

QList<int> scores(const HighscoreFile::Lists& lists, int players) {
    QList<int> out;
    for (const auto& r : lists[players - 1]) {
        out.append(r->score());
    }
    return out;
}

}  // namespace

class TestHighscore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void lineFormatAndChecksum() {
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
    }

    void appendedLinesReadBackPerPlayerCount() {
        QTemporaryDir dir;
        HighscoreFile file(dir.path(), [] { return kWhen; });
        QVERIFY(file.append(50, 2, "00:00:30", {"Solo"}));
        QVERIFY(file.append(70, 3, "00:00:40", {"Ann", "Ben"}));
        QVERIFY(file.append(90, 4, "00:00:50", {"A", "B", "C", "D"}));
        QFile raw(file.filePath());
        QVERIFY(raw.open(QIODevice::ReadOnly));
        QCOMPARE(raw.readAll().count("\r\n"), 3);

        const HighscoreFile::Lists lists = file.read();
        QCOMPARE(scores(lists, 1), QList<int>{50});
        QCOMPARE(scores(lists, 2), QList<int>{70});
        QCOMPARE(scores(lists, 3), QList<int>{});
        QCOMPARE(scores(lists, 4), QList<int>{90});
        const GameResult& four = *lists[3].front();
        QVERIFY(four.lines() == 4 && four.playtime() == "00:00:50" && four.playerCount() == 4);
        QCOMPARE(four.isoDate(), QStringLiteral("2011-03-05T18:04:11"));
    }

    void orderIsByScoreWithEarlierLinesFirstAmongEquals() {
        QTemporaryDir dir;
        HighscoreFile file(dir.path(), [] { return kWhen; });
        for (const auto& [score, name] :
             {std::pair{30, "first"}, std::pair{90, "top"}, std::pair{30, "second"},
              std::pair{10, "low"}, std::pair{30, "third"}}) {
            QVERIFY(file.append(score, 0, "00:00:01", {name}));
        }
        const HighscoreFile::Lists lists = file.read();
        QStringList names;
        for (const auto& r : lists[0]) {
            names.append(r->playerNames());
        }
        QCOMPARE(names, (QStringList{"top", "first", "second", "third", "low"}));
    }

    void tamperedAndMalformedLinesAreDropped() {
        QTemporaryDir dir;
        HighscoreFile file(dir.path(), [] { return kWhen; });
        const QByteArray good = HighscoreFile::line(kWhen, 120, 5, "00:01:40", {"Ann"});
        QByteArray score = good;
        score.replace(" 120 ", " 190 ");
        QByteArray lines = good;
        lines.replace(" 5 ", " 6 ");
        // Written by hand with a spaced name and a checksum over that name.
        const QByteArray spaced =
            "2011-03-05T18:04:11 40 1 00:00:10 1 Ann Lee Quadrell Beta 0.92 " +
            GameResult::checksum(40, 1, "00:00:10", 1, "Ann Lee").toUtf8();
        const QByteArray countFive = "d 1 1 t 5 a b c d e Quadrell Beta 0.92 " +
                                     GameResult::checksum(1, 1, "t", 5, "a b c d e").toUtf8();
        const QByteArray countZero =
            "d 1 1 t 0 Quadrell Beta 0.92 " + GameResult::checksum(1, 1, "t", 0, "").toUtf8();
        writeRaw(file.filePath(), score + "\r\n" + lines + "\r\n" + spaced + "\r\n" + countFive +
                                      "\r\n" + countZero + "\r\nshort line\r\n\r\n" +
                                      QByteArray(3000, 'x') + "\r\n" + good + "\r\n");
        const HighscoreFile::Lists lists = file.read();
        QCOMPARE(scores(lists, 1), QList<int>{120});
        for (int players = 2; players <= 4; ++players) {
            QVERIFY(lists[players - 1].empty());
        }
    }

    void lineEndingsAndLengthLimit() {
        QTemporaryDir dir;
        HighscoreFile file(dir.path(), [] { return kWhen; });
        const QByteArray line = HighscoreFile::line(kWhen, 7, 1, "00:00:02", {"Ann"});
        // A bare "\n", and a last line without any ending, keep their checksum.
        writeRaw(file.filePath(), line + "\n" + line);
        QCOMPARE(scores(file.read(), 1), (QList<int>{7, 7}));

        // The line appended after a last line without ending starts on its own
        // line, and four names of any length still make a line the reader accepts.
        const QString longName(400, QChar(0x00E9));
        QVERIFY(file.append(8, 1, QString(500, 't'), {longName, longName, longName, longName}));
        const HighscoreFile::Lists lists = file.read();
        QCOMPARE(scores(lists, 4), QList<int>{8});
        QCOMPARE(lists[3].front()->playerNames(),
                 QStringList(4, QString(12, QChar(0x00E9))).join(' '));
    }

    void emptyMissingAndUnwritableFiles() {
        QTemporaryDir dir;
        HighscoreFile file(dir.path());
        for (const auto& list : file.read()) {
            QVERIFY(list.empty());
        }
        writeRaw(file.filePath(), QByteArray());
        for (const auto& list : file.read()) {
            QVERIFY(list.empty());
        }
        QTemporaryDir other;
        QVERIFY(QDir(other.path()).mkdir("highscore.dat"));
        QVERIFY(!HighscoreFile(other.path()).append(1, 1, "00:00:01", {"Ann"}));
    }

    void displayForms() {
        const auto result = [](const QString& players) {
            return std::make_unique<GameResult>(1, 1, "t", "2011-03-05T18:04:11",
                                                static_cast<int>(players.count(' ') + 1), players,
                                                QString());
        };
        QCOMPARE(result("Ann")->players(), QStringLiteral("Ann"));
        QCOMPARE(result("Ann Ben")->players(), QStringLiteral("Ann and Ben"));
        QCOMPARE(result("Ann Ben Cid Dora")->players(), QStringLiteral("Ann, Ben, Cid and Dora"));
        const auto r = result("Ann");
        QCOMPARE(r->date(), QLocale::system().toString(kWhen, QLocale::ShortFormat));
        // A date that does not parse is shown as stored.
        QCOMPARE(GameResult(1, 1, "t", "yesterday", 1, "A", QString()).date(),
                 QStringLiteral("yesterday"));
    }
};

QTEST_GUILESS_MAIN(TestHighscore)
#include "test_highscore.moc"
