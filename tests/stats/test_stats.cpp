// Reports through the checks into a real database and out as the leaderboard: a SQLite file in a
// temporary folder, or a PostgreSQL server started for the run when QUADRELL_STATS_POSTGRES names
// the scratch-server script.
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include <QNetworkAccessManager>
#include <QNetworkReply>

#include "apps/stats/statshttpservice.h"
#include "computergame.h"
#include "network/payloadcodec.h"
#include "network/statsquery.h"
#include "stats/leaderboardpage.h"
#include "stats/reportintake.h"

namespace {

using Verdict = ReportIntake::Verdict;
constexpr qint64 kNow = 1800000000000;  // 2027-01-15
constexpr qint64 kDay = 86400000;
const QHostAddress kFrom("192.0.2.7");
const QHostAddress kOther("192.0.2.8");

// Item values as given; the authcode is computed over them unless given.
QUrlQuery report(const QString& score, const QString& lines, const QString& playtime,
                 const QString& players, QString authcode = {}) {
    if (authcode.isEmpty()) {
        authcode = PayloadCodec::sha1Hex(score + lines + playtime + players +
                                         "Salt text for every digest");
    }
    QUrlQuery q;
    q.setQueryItems({{"score", score},
                     {"lines", lines},
                     {"playtime", playtime},
                     {"players", players},
                     {"authcode", authcode}});
    return q;
}

QUrlQuery withGame(QUrlQuery q, const QString& id) {
    q.addQueryItem("game", id);
    return q;
}

GameReport game(int score, const QStringList& players, const QString& authcode) {
    return {score, 0, score, players, authcode, {}};
}

QUrlQuery reportOf(const ComputerGame& g, const QString& id, int moreLines = 0) {
    return withGame(report(QString::number(g.result.score + 10 * moreLines),
                           QString::number(g.result.lines + moreLines),
                           StatsQuery::compactPlaytime(g.result.playtime), g.players.join(' ')),
                    id);
}

struct HttpAnswer {
    int status = 0;
    QByteArray body;
    QByteArray type;
    QByteArray disposition;
};

// One request to the service, empty body: a GET.
HttpAnswer request(QNetworkAccessManager& http, const QUrl& url, const QByteArray& body = {}) {
    QNetworkRequest r(url);
    r.setHeader(QNetworkRequest::ContentTypeHeader, "application/octet-stream");
    std::unique_ptr<QNetworkReply> reply(body.isEmpty() ? http.get(r) : http.post(r, body));
    if (!QTest::qWaitFor([&] { return reply->isFinished(); }, 20000)) {
        return {};
    }
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(),
            reply->rawHeader("Content-Type"), reply->rawHeader("Content-Disposition")};
}

}  // namespace

class TestStats : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString script_ = qEnvironmentVariable("QUADRELL_STATS_POSTGRES");
    StoreLocation postgres_;
    int stores_ = 0;
    StoreLocation location_;
    std::unique_ptr<StatsStore> store_;
    std::unique_ptr<ReportIntake> intake_;
    // Three computers on 36 columns, 54 lines: a short game that clears rows.
    ComputerGame played_ = recordComputerGame(36, 1);
    ComputerGame forged_ = recordComputerGame(36, 1, {}, 500000, 100);
    ComputerGame crowded_ = recordComputerGame(24, 2, {}, 500000, {}, true);  // no rows cleared

    bool isPostgres() const { return !script_.isEmpty(); }

    // A new SQLite file, or the PostgreSQL database emptied.
    StoreLocation freshLocation() {
        if (!isPostgres()) {
            StoreLocation l;
            l.path = dir_.filePath(QStringLiteral("%1.sqlite").arg(++stores_));
            return l;
        }
        sql("DROP TABLE IF EXISTS games, days, replays, schema_version");
        return postgres_;
    }
    // A statement on a connection of the test's own.
    bool sql(const QString& statement, const StoreLocation* sqlite = nullptr) {
        bool ok = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(sqlite ? "QSQLITE" : "QPSQL", "test");
            db.setDatabaseName(sqlite ? sqlite->path : postgres_.database);
            db.setHostName(postgres_.host);
            db.setPort(postgres_.port);
            db.setUserName(postgres_.user);
            ok = db.open() && QSqlQuery(db).exec(statement);
        }
        QSqlDatabase::removeDatabase("test");
        return ok;
    }
    int storedGames() { return static_cast<int>(store_->leaderboard(kNow)->games); }
    // The store on location_ again, as a restart finds it.
    bool reopen(ReportIntake::Limits limits = {}) {
        intake_.reset();
        store_ = std::make_unique<StatsStore>(location_);
        intake_ = std::make_unique<ReportIntake>(*store_, limits);
        return store_->open();
    }
    Verdict take(const QUrlQuery& q, qint64 at = kNow, const QHostAddress& from = kFrom) {
        return intake_->take(q, from, at).verdict;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        if (isPostgres()) {
            QTcpServer probe;  // a free port, for the moment
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            const QString port = QString::number(probe.serverPort());
            probe.close();
            // The server runs as another user when we are root: it must reach its folder.
            QFile::setPermissions(dir_.path(), QFile::permissions(dir_.path()) | QFile::ExeOther);
            QProcess start;
            start.start(script_, {"start", dir_.filePath("pg"), port, "-c", "fsync=off"});
            QVERIFY(start.waitForFinished(60000));
            QVERIFY2(start.exitCode() == 0, start.readAllStandardError().constData());
            QString error;
            postgres_ = StoreLocation::parse(
                            QString::fromUtf8(start.readAllStandardOutput()).trimmed(), error)
                            .value_or(StoreLocation());
            QCOMPARE(postgres_.kind, StoreLocation::Kind::Postgres);
        }
    }
    void cleanupTestCase() {
        store_.reset();
        if (isPostgres()) {
            QProcess::execute(script_, {"stop", dir_.filePath("pg")});
        }
    }
    void init() {
        store_.reset();
        location_ = freshLocation();
        QVERIFY2(reopen(), qPrintable(store_->error()));
    }

    void reportsAreCheckedBeforeStoring_data() {
        QTest::addColumn<QUrlQuery>("query");
        QTest::addColumn<QString>("refusal");  // part of the reason; empty: stored
        const QString ann = QStringLiteral("Ann");
        QTest::newRow("no lines") << report("9", "0", "00009", "Ann Bob") << "";
        // 3 lines give 30 to 60 points in steps of ten; 1 h 1 min 5 s is 3665 s.
        QTest::newRow("lines") << report("3715", "3", "10105", ann) << "";
        QTest::newRow("four names, any letters")
            << report("0", "0", "00000", "<i>A</i> B&C Zoë +1") << "";
        QTest::newRow("forged") << report("9", "0", "00009", ann, QString(40, 'a')) << "authcode";
        QTest::newRow("too many points") << report("3735", "3", "10105", ann) << "cannot come";
        QTest::newRow("too few points") << report("3685", "3", "10105", ann) << "cannot come";
        QTest::newRow("not in tens") << report("3710", "3", "10105", ann) << "cannot come";
        QTest::newRow("points without lines") << report("19", "0", "00009", ann) << "cannot come";
        QTest::newRow("leading zero") << report("09", "0", "00009", ann) << "count";
        QTest::newRow("too big") << report("2147483648", "0", "00009", ann) << "count";
        QTest::newRow("short playtime") << report("9", "0", "0009", ann) << "Hmmss";
        QTest::newRow("60 seconds") << report("60", "0", "00060", ann) << "Hmmss";
        QTest::newRow("five names") << report("9", "0", "00009", "A B C D E") << "names";
        QTest::newRow("empty name") << report("9", "0", "00009", "A  B") << "names";
        QTest::newRow("long name") << report("9", "0", "00009", QString(65, 'x')) << "names";
        QTest::newRow("control") << report("9", "0", "00009", "A\tB") << "names";
        const QUrlQuery plain = report("9", "0", "00009", ann);
        QUrlQuery missing = plain, twice = plain;
        missing.removeQueryItem("lines");
        twice.addQueryItem("score", "9");
        QTest::newRow("missing") << missing << "'lines' missing";
        QTest::newRow("twice") << twice << "'score' given twice";
        QTest::newRow("game id") << withGame(plain, "0123456789abcdef") << "";
        QTest::newRow("game id in capitals") << withGame(plain, "0123456789ABCDEF") << "'game'";
        QTest::newRow("game id short") << withGame(plain, "0123456789abcde") << "'game'";
        QTest::newRow("game id twice")
            << withGame(withGame(plain, "0123456789abcdef"), "0123456789abcdef") << "'game'";
    }
    void reportsAreCheckedBeforeStoring() {
        QFETCH(QUrlQuery, query);
        QFETCH(QString, refusal);
        const ReportIntake::Outcome o = intake_->take(query, kFrom, kNow);
        QCOMPARE(o.verdict, refusal.isEmpty() ? Verdict::Accepted : Verdict::Refused);
        QVERIFY2(o.reason.contains(refusal), qPrintable(o.reason));
        QCOMPARE(storedGames(), refusal.isEmpty() ? 1 : 0);
    }

    // The same report again from the same address within ten minutes is a retry whose answer went
    // astray: "true" again, one game.
    void retriesAreStoredOnceAndLimited() {
        const QUrlQuery q = report("9", "0", "00009", "Ann");
        QCOMPARE(take(q), Verdict::Accepted);
        QCOMPARE(take(q, kNow + 600000), Verdict::Retry);
        QVERIFY(intake_->take(q, kFrom, kNow + 600000).stored());
        QCOMPARE(take(q, kNow + 1, QHostAddress("::ffff:192.0.2.7")), Verdict::Retry);
        QCOMPARE(storedGames(), 1);
        QCOMPARE(take(q, kNow, kOther), Verdict::Accepted);
        QCOMPARE(take(q, kNow + 600001), Verdict::Accepted);
        QCOMPARE(storedGames(), 3);

        // With a game id a retry is known however late and from wherever it comes, and an equal
        // result of another game is another game.
        const qint64 later = kNow + kDay;
        const QUrlQuery first = withGame(q, "00000000000000a1");
        QCOMPARE(take(first, later), Verdict::Accepted);
        QCOMPARE(take(first, later + 3 * kDay, kOther), Verdict::Retry);
        QCOMPARE(take(withGame(q, "00000000000000a2"), later + 1), Verdict::Accepted);
        // An older server's report of the same result stands for itself.
        QCOMPARE(take(q, later + 2), Verdict::Accepted);
        QCOMPARE(take(q, later + 3), Verdict::Retry);
        QCOMPARE(storedGames(), 3 + 3);

        // An allowance per address, refused reports too: a sender cannot probe the checks.
        QVERIFY(reopen({2, 1000, 600000}));
        QCOMPARE(take(QUrlQuery("score=x")), Verdict::Refused);
        QCOMPARE(take(report("9", "0", "00009", "A")), Verdict::Accepted);
        QCOMPARE(take(report("8", "0", "00008", "A")), Verdict::Limited);
        QCOMPARE(take(report("8", "0", "00008", "A"), kNow, kOther), Verdict::Accepted);
        QCOMPARE(take(report("8", "0", "00008", "A"), kNow + 1000), Verdict::Accepted);
        QCOMPARE(storedGames(), 6 + 3);
    }

    // A restart finds the schema and the games, the first schema gains the game id column, a newer
    // schema is left alone.
    void schemaIsMadeOnceAndBroughtUpToDate() {
        QCOMPARE(store_->add(game(5, {"Ann"}, "a"), "x", kNow, kNow), StatsStore::Added::Stored);
        QVERIFY(isPostgres() || QFile::exists(location_.path + "-wal"));
        QVERIFY(reopen());
        QCOMPARE(storedGames(), 1);
        store_.reset();

        const StoreLocation* sqlite = isPostgres() ? nullptr : &location_;
        const QString id = isPostgres() ? "BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY"
                                        : "INTEGER PRIMARY KEY";
        for (const char* statement :
             {"DROP TABLE games", "DROP TABLE replays", "DROP INDEX IF EXISTS games_game_id",
              "CREATE TABLE games (id %ID%, finished_at BIGINT NOT NULL, "
              "score INTEGER NOT NULL, lines INTEGER NOT NULL, playtime_seconds INTEGER NOT "
              "NULL, player_count INTEGER NOT NULL, players TEXT NOT NULL, authcode TEXT NOT "
              "NULL, address TEXT NOT NULL)",
              "INSERT INTO games VALUES (1000, 1800000000000, 9, 0, 9, 1, 'Ann', 'x', 'y')",
              "UPDATE schema_version SET version = 1"}) {
            QVERIFY2(sql(QString::fromLatin1(statement).replace("%ID%", id), sqlite), statement);
        }
        QVERIFY2(reopen(), qPrintable(store_->error()));
        const QUrlQuery q = withGame(report("9", "0", "00009", "Ann"), "00000000000000b1");
        QCOMPARE(take(q), Verdict::Accepted);
        QCOMPARE(take(q), Verdict::Retry);
        QCOMPARE(store_->leaderboard(kNow)->recent.size(), 2);
        store_.reset();

        QVERIFY(sql("UPDATE schema_version SET version = 99", sqlite));
        StatsStore newer(location_);
        QVERIFY(!newer.open());
        QVERIFY2(newer.error().contains("99"), qPrintable(newer.error()));
    }

    // A game of computers reported with its replay over HTTP is stored as verified, marked so on
    // the page and its replay served; the same replay with one press more, under other names or for
    // another game id, is refused and stores nothing, and a report without one is stored
    // unverified, and proven by a later replay.
    void replaysProveTheirGames() {
        const ComputerGame& played = played_;
        const ComputerGame& forged = forged_;
        QVERIFY(!played.replay.isEmpty() && !forged.replay.isEmpty());
        QVERIFY(played.result.lines > 0);
        StatsHttpService service(*store_, {});
        QVERIFY(service.listen(QHostAddress::LocalHost, 0));
        const auto url = [&](const QString& path, const QUrlQuery& q = {}) {
            QUrl u(QStringLiteral("http://127.0.0.1:%1%2").arg(service.port()).arg(path));
            u.setQuery(q);
            return u;
        };
        QNetworkAccessManager http;
        const QUrlQuery first = reportOf(played, "00000000000000c1");

        const HttpAnswer refused = request(http, url(StatsQuery::kPath, first), forged.replay);
        QCOMPARE(refused.status, 400);
        QVERIFY2(refused.body.contains("replay plays to"), refused.body);
        QCOMPARE(request(http, url(StatsQuery::kPath, first), "QRPL junk").status, 400);
        QCOMPARE(
            request(http, url(StatsQuery::kPath, first), QByteArray(ReplayFile::kMaxBytes + 1, 'x'))
                .status,
            413);
        QCOMPARE(storedGames(), 0);

        QCOMPARE(request(http, url(StatsQuery::kPath, first)).body, "true");
        QVERIFY(!store_->leaderboard(kNow)->recent.first().verified);
        QCOMPARE(request(http, url(StatsQuery::kPath, first), played.replay).body, "true");
        QCOMPARE(request(http, url(StatsQuery::kPath, first), played.replay).body, "true");
        QCOMPARE(storedGames(), 1);
        const StoredGame stored = store_->leaderboard(kNow)->recent.first();
        QVERIFY(stored.verified);
        QCOMPARE(stored.score, played.result.score);

        const HttpAnswer file = request(http, url(LeaderboardPage::replayPath(stored.id)));
        QCOMPARE(file.status, 200);
        QCOMPARE(file.body, played.replay);
        QCOMPARE(file.type, "application/x-quadrell-replay");
        QCOMPARE(file.disposition,
                 QStringLiteral("attachment; filename=\"quadrell-game-%1.qrpl\"").arg(stored.id));
        QCOMPARE(request(http, url("/replay/99999")).status, 404);
        const QByteArray page = request(http, url("/")).body;
        QVERIFY2(page.contains(QStringLiteral("<a href=\"/replay/%1\"").arg(stored.id).toUtf8()),
                 page);

        // The other way round; a replay that proves another result, or another's game.
        const QUrlQuery second = reportOf(crowded_, "00000000000000c2");
        QCOMPARE(request(http, url(StatsQuery::kPath, second), crowded_.replay).body, "true");
        QCOMPARE(request(http, url(StatsQuery::kPath, second)).body, "true");
        const HttpAnswer wrong = request(
            http, url(StatsQuery::kPath, reportOf(played, "00000000000000c3", 1)), played.replay);
        QCOMPARE(wrong.status, 400);
        QVERIFY2(wrong.body.contains("not to the reported score"), wrong.body);
        const QUrlQuery mine =
            report(QString::number(played.result.score), QString::number(played.result.lines),
                   StatsQuery::compactPlaytime(played.result.playtime), "Ann");
        const HttpAnswer taken = request(
            http, url(StatsQuery::kPath, withGame(mine, "00000000000000c4")), played.replay);
        QVERIFY2(taken.body.contains("not of the reported players"), taken.body);
        const HttpAnswer again = request(
            http, url(StatsQuery::kPath, reportOf(played, "00000000000000c5")), played.replay);
        QVERIFY2(again.body.contains("proves another game"), again.body);
        QCOMPARE(storedGames(), 2);
        const QJsonValue json = LeaderboardPage::json(*store_->leaderboard(kNow), kNow);
        QCOMPARE(json["recent"][0]["replay"].toString(),
                 LeaderboardPage::replayPath(stored.id + 1));
    }

    // A replay beyond the ticks or the wall time allowed is refused, not stored unproven.
    void replaysBeyondTheBudgetAreRefused() {
        const ComputerGame& played = played_;
        const qint64 ticks = ReplayFile::read(played.replay).replay->ticks;
        qint64 clock = 0;
        for (const ReplayBudget& budget :
             {ReplayBudget{ticks - 1, 60000, {}},
              ReplayBudget{ticks, 1000, [&] { return clock += 1001; }}}) {
            ReportIntake intake(*store_, {}, budget);
            const ReportIntake::Outcome o = intake.takeWithReplay(
                reportOf(played, "00000000000000d1"), played.replay, kFrom, kNow);
            QCOMPARE(o.verdict, Verdict::OverBudget);
            QVERIFY2(o.reason.contains("beyond the budget"), qPrintable(o.reason));
        }
        QCOMPARE(storedGames(), 0);
        ReportIntake enough(*store_, {}, {ticks, 60000, {}});
        QCOMPARE(
            enough.takeWithReplay(reportOf(played, "00000000000000d1"), played.replay, kFrom, kNow)
                .verdict,
            Verdict::Accepted);
        // A replay proves a game only with its id.
        QUrlQuery bare = reportOf(played, "x");
        bare.removeQueryItem("game");
        QCOMPARE(enough.takeWithReplay(bare, played.replay, kFrom, kNow).verdict, Verdict::Refused);
    }

    void leaderboardShowsTheBestAndLatest() {
        for (int i = 0; i < 12; ++i) {
            store_->add(game(100 + 10 * (i % 6), {"Solo"}, QString::number(i)), "x",
                        kNow - (11 - i) * kDay, 0);
        }
        store_->add(game(7, {"<b>Kim</b>", "Lea&Max"}, "k"), "x", kNow - 40 * kDay, 0);
        store_->add(game(8, {"Ann", "Bob", "Cid"}, "t"), "x", kNow, 0);
        const Leaderboard b = store_->leaderboard(kNow).value();

        QCOMPARE(b.games, qint64(14));
        QCOMPARE(b.playtimeSeconds, qint64(100 * 12 + 10 * 30 + 7 + 8));
        QList<int> scores;
        for (const StoredGame& g : b.best[0]) {
            scores << g.score;
        }
        QCOMPARE(scores, QList<int>({150, 150, 140, 140, 130, 130, 120, 120, 110, 110}));
        QVERIFY(b.best[0].first().id < b.best[0].at(1).id);  // the earlier game first
        QCOMPARE(b.best[1].size(), 1);
        QCOMPARE(b.best[2].first().players, QStringList({"Ann", "Bob", "Cid"}));
        QVERIFY(b.best[3].isEmpty());
        QCOMPARE(b.recent.size(), Leaderboard::kRecentRows);
        QCOMPARE(b.recent.first().score, 8);
        QCOMPARE(b.recent.at(1).score, 150);  // the latest solo game
        // A solo game on each of the last 12 days, the trio's today; 40 days ago is past the chart.
        QCOMPARE(b.gamesPerDay,
                 QList<int>(Leaderboard::kDays - 12, 0) + QList<int>(11, 1) + QList<int>{2});

        const QString html = QString::fromUtf8(LeaderboardPage::html(b, kNow));
        QVERIFY(html.contains("&lt;b&gt;Kim&lt;/b&gt;, Lea&amp;Max"));
        QVERIFY(!html.contains("src="));  // nothing from elsewhere
        const QJsonValue json = LeaderboardPage::json(b, kNow);
        QCOMPARE(json["best"][1]["games"][0]["players"][0].toString(), "<b>Kim</b>");
        QCOMPARE(json["recent"][0]["playtime"].toString(), "0:00:08");
    }
};

QTEST_GUILESS_MAIN(TestStats)
#include "test_stats.moc"
