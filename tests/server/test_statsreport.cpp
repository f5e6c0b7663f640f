// The stats report of a ranked game against a small HTTP endpoint on 127.0.0.1:
// what is requested, how often, and what the players are told.
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include "network/statsquery.h"
#include "server/statsoutbox.h"
#include "server/statsreport.h"
#include "serverharness.h"

namespace {

// Answers every GET with the next body of its list (the last one repeats), or
// not at all, and every POST with postStatus, as an older service does by
// default; records each request. Without bodies nobody listens.
class FakeHttpEndpoint : public QObject {
public:
    struct Request {
        QByteArray head;  // request line and headers
        QByteArray body;
        qint64 atMs = 0;  // since the endpoint was made
        QByteArray target() const { return head.left(head.indexOf('\r')).split(' ').value(1); }
    };

    explicit FakeHttpEndpoint(const QList<QByteArray>& bodies) : bodies_(bodies) {
        clock_.start();
        server_.listen(QHostAddress::LocalHost, 0);
        url = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()));
        if (bodies.isEmpty()) {
            server_.close();
        }
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, this, [this, s] { read(s); });
            }
        });
    }

    QUrl url;
    QList<Request> requests;  // the GETs
    QList<Request> posts;
    bool answering = true;
    QByteArray postStatus = "404 Not Found";

private:
    void read(QTcpSocket* s) {
        QByteArray& buffer = buffers_[s];
        buffer += s->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0) {
            return;
        }
        const QByteArray head = buffer.left(end);
        const qsizetype length = head.indexOf("Content-Length: ");
        const qsizetype size =
            length < 0 ? 0 : head.mid(length + 16).split('\r').value(0).toLongLong();
        if (buffer.size() < end + 4 + size) {
            return;
        }
        const bool post = head.startsWith("POST ");
        Request r{head, buffer.mid(end + 4, size), clock_.elapsed()};
        (post ? posts : requests).append(r);
        buffer.clear();
        if (answering) {
            const QByteArray body = post ? (postStatus.startsWith("200") ? "true" : postStatus)
                                         : bodies_.value(requests.size() - 1, bodies_.last());
            s->write("HTTP/1.1 " + (post ? postStatus : "200 OK") +
                     "\r\nConnection: close\r\nContent-Length: " + QByteArray::number(body.size()) +
                     "\r\n\r\n" + body);
            s->disconnectFromHost();
        }
    }

    QTcpServer server_;
    QElapsedTimer clock_;
    QList<QByteArray> bodies_;
    QHash<QTcpSocket*, QByteArray> buffers_;
};

// The query items of a request target, in their order.
QList<std::pair<QString, QString>> queryItems(const QByteArray& target) {
    return QUrlQuery(QString::fromLatin1(target.mid(target.indexOf('?') + 1)))
        .queryItems(QUrl::FullyDecoded);
}

// A ranked game of Ann and Bob that ends after the given play time with no row
// cleared, so the score is the play time in seconds.
void playRankedGame(ServerHarness& h, qint64 playtimeMs) {
    h.startPlaying({"Ann", "Bob"});
    h.clock.advance(playtimeMs);
    h.endGame();
    QVERIFY(!h.sim().running());
}

ServerTimings fastRetries() {
    ServerTimings t = quietTimings();
    t.statsFirstPauseMs = 20;
    t.statsLongestPauseMs = 80;
    t.statsTimeoutMs = 200;
    return t;
}

HarnessOptions ranked(const QUrl& endpoint) {
    HarnessOptions o;
    o.settings.stats = true;
    o.statsEndpoint = endpoint;
    o.timings = fastRetries();
    return o;
}

QString gameItem(const QByteArray& target) {
    return queryItems(target).value(5).second;
}

const QString kUploaded = QStringLiteral("Stats successfully uploaded.");
const QString kMessage = QStringLiteral("sendSMessage");

}  // namespace

class TestStatsReport : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A computer that played in a game, seated or standing in, keeps it out
    // of the ranking; the next game of people alone is reported in order.
    void reportCarriesTheResultInOrder() {
        FakeHttpEndpoint endpoint({"true"});
        ServerHarness h(ranked(endpoint.url));
        h.startPlaying({"Ann", "Bob", "Cid"});
        Q_EMIT h.stream->changedSPlayerDisconnect(2);
        h.endGame();
        h.server->addComputer();
        playRankedGame(h, 0);
        QTest::qWait(50);
        QCOMPARE(endpoint.requests.size(), 0);
        QCOMPARE(h.datagram->count(kMessage), 1);  // the takeover notice
        QCOMPARE(h.server->sessions().seats().size(), 1);
        Q_EMIT h.stream->changedSPlayerKick(0, h.server->sessions().seats().first());

        playRankedGame(h, 9000);
        QTRY_COMPARE(h.datagram->count(kMessage), 2);
        QCOMPARE(endpoint.requests.size(), 1);
        const QByteArray target = endpoint.requests[0].target();
        QVERIFY2(target.startsWith("/stats-report.php?"), target);
        const QList<std::pair<QString, QString>> expected = {
            {"score", "9"},
            {"lines", "0"},
            {"playtime", "00009"},
            {"players", "Ann Bob"},
            {"authcode", StatsQuery::authcode(9, 0, "00009", "Ann Bob")},
            {"game", gameItem(target)}};
        QCOMPARE(queryItems(target), expected);
        QVERIFY(StatsQuery::isGameId(gameItem(target)));
        QVERIFY(endpoint.requests[0].head.contains("\r\nUser-Agent: Quadrell Beta 0.92\r\n"));
        // Its replay goes beside it as a POST of the same query.
        QTRY_COMPARE(endpoint.posts.size(), 1);
        QCOMPARE(endpoint.posts[0].target(), target);
        QVERIFY(!h.server->recorder().lastReplay().isEmpty());
        QCOMPARE(endpoint.posts[0].body, h.server->recorder().lastReplay());

        // The same result again is another report.
        playRankedGame(h, 9000);
        QTRY_COMPARE(endpoint.requests.size(), 2);
        QVERIFY(gameItem(endpoint.requests[1].target()) != gameItem(target));

        // A server that goes away with a report in flight leaves it there.
        endpoint.answering = false;
        playRankedGame(h, 1000);
        QTRY_COMPARE(endpoint.requests.size(), 3);
        h.server.reset();
        QTest::qWait(20);
        QCOMPARE(endpoint.requests.size(), 3);
    }

    // Unranked games and servers without an endpoint send nothing.
    void nothingIsSentUnranked() {
        FakeHttpEndpoint http({"true"});
        for (bool stats : {false, true}) {
            HarnessOptions o = ranked(stats ? QUrl() : http.url);
            o.settings.stats = stats;
            ServerHarness h(o);
            playRankedGame(h, 1000);
            QTest::qWait(100);  // no attempt or notice comes late
            QCOMPARE(http.requests.size(), 0);
            QCOMPARE(h.datagram->count(kMessage), 0);
        }
    }

    // A report that keeps failing: the players hear so after the fourth
    // attempt, it goes again after pauses that double up to the longest, and
    // the players hear when it arrives; one that fails past the give-up time
    // is dropped.
    void failedReportsComeBack() {
        for (bool listening : {true, false}) {
            FakeHttpEndpoint http(listening ? QList<QByteArray>{"false", "", "maybe", "false",
                                                                "false", "false", "true"}
                                            : QList<QByteArray>());
            ServerHarness h(ranked(http.url));
            qsizetype requestsAtNotice = -1;
            connect(h.server->statsReport(), &StatsReport::failed, this,
                    [&] { requestsAtNotice = http.requests.size(); });
            playRankedGame(h, 1000);
            QTRY_COMPARE(h.datagram->count(kMessage), 1);
            QCOMPARE(requestsAtNotice, listening ? 4 : 0);
            if (!listening) {
                h.clock.advance(ServerTimings().statsGiveUpMs);
                QTest::qWait(300);  // the next attempt fails and is the last
                QCOMPARE(h.server->statsReport()->unsent(), 0);
                continue;
            }
            QTRY_COMPARE(h.datagram->last(kMessage), QVariantList({true, -1, kUploaded}));
            QCOMPARE(http.requests.size(), 7);
            const int pauses[] = {20, 40, 80, 80, 80, 80};
            for (int i = 0; i < 6; ++i) {
                const qint64 gap = http.requests[i + 1].atMs - http.requests[i].atMs;
                QVERIFY2(gap >= pauses[i] - 2 && gap < pauses[i] + 1000,
                         qPrintable(QString::number(gap)));
                QCOMPARE(http.requests[i + 1].target(), http.requests[0].target());
            }
            QCOMPARE(h.server->statsReport()->unsent(), 0);
        }
    }

    // The next run sends what the file kept, each report once and without
    // telling anybody; the file goes once it is empty. Lines that are no
    // report are left out. A lock file that cannot be made is said so, a
    // second server on the same file is kept off: the reports stay in memory
    // and are sent all the same.
    void unsentReportsOutliveTheServerAndFileProblemsAreSaid() {
        const QByteArray query =
            StatsQuery::encode(9, 0, "0:00:09", {"Ann"}, StatsQuery::gameId(0xa1));
        for (const QString problem : {"", "lock file", "in use by another server"}) {
            QTemporaryDir dir;
            QString path = dir.filePath("unsent-reports.txt");
            ManualClock clock;
            StatsReport holder(QUrl("http://127.0.0.1:1"), fastRetries(), clock);
            if (problem.isEmpty()) {
                QFile file(path);
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write("# a comment\n\nscore=1 2\n\x01\n" + query + "\n" + query + "\n");
            } else if (problem == "lock file") {
                QFile plain(dir.filePath("file"));
                QVERIFY(plain.open(QIODevice::WriteOnly));
                path = dir.filePath("file/unsent-reports.txt");
            } else {
                holder.keepUnsentIn(path);
            }
            FakeHttpEndpoint http({"true"});
            StatsReport report(http.url, fastRetries(), clock);
            QSignalSpy uploaded(&report, &StatsReport::uploaded);
            QSignalSpy problems(&report, &StatsReport::storageError);
            report.keepUnsentIn(path);
            if (!problem.isEmpty()) {
                report.send(9, 0, "0:00:09", {"Ann"});
            }
            QTRY_COMPARE(report.unsent(), 0);
            QCOMPARE(http.requests.size(), 1);
            QCOMPARE(problems.size(), problem.isEmpty() ? 0 : 1);
            if (problem.isEmpty()) {
                QCOMPARE(http.requests[0].target().split('?').value(1), query);
                QVERIFY(!QFile::exists(path));
                QCOMPARE(uploaded.size(), 0);  // nobody from those games is here to tell
            } else {
                QVERIFY2(problems.first().first().toString().contains(problem),
                         qPrintable(problems.first().first().toString()));
            }
        }
    }

    // A service that cannot take the replay just now gets it again, after a
    // restart too, though it took the GET; a refusal ends it. A replay line
    // that follows no report or holds no base64 is left out.
    void theReplayIsSentUntilTakenOrRefused() {
        QTemporaryDir dir;
        const QString path = dir.filePath("unsent-reports.txt");
        ManualClock clock;
        const QByteArray replay("QRPL\x01 bytes of a game\n\0", 24);
        {
            FakeHttpEndpoint http({"true"});
            http.postStatus = "503 Service Unavailable";
            StatsReport report(http.url, fastRetries(), clock);
            QSignalSpy uploaded(&report, &StatsReport::uploaded);
            report.keepUnsentIn(path);
            report.send(9, 0, "0:00:09", {"Ann"}, replay);
            QTRY_VERIFY(http.posts.size() >= 3);
            QCOMPARE(http.requests.size(), 1);
            QCOMPARE(uploaded.size(), 1);
            QCOMPARE(report.unsent(), 1);
            QCOMPARE(http.posts.last().body, replay);
            QCOMPARE(http.posts[0].target(), http.requests[0].target());
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const StatsOutbox::Reports kept = StatsOutbox::parse(file.readAll());
        QCOMPARE(kept.size(), 1);
        QCOMPARE(kept[0].replay, replay);
        file.close();
        {
            FakeHttpEndpoint http({"true"});
            http.postStatus = "400 Bad Request";
            StatsReport report(http.url, fastRetries(), clock);
            report.keepUnsentIn(path);
            QTRY_COMPARE(report.unsent(), 0);
            QCOMPARE(http.posts.size(), 1);
            QCOMPARE(http.posts[0].body, replay);
            QVERIFY(!QFile::exists(path));
        }
        const QByteArray b64 = "#replay " + replay.toBase64() + "\n";
        const StatsOutbox::Reports read =
            StatsOutbox::parse(b64 + "a=1\n" + b64 + b64 + "b=2\n#replay !!\n\nc=3\n#replay \n");
        QCOMPARE(read, StatsOutbox::Reports({{"a=1", replay}, {"b=2", {}}, {"c=3", {}}}));
    }

    void theEndpointAndWhatItReads() {
        QCOMPARE(StatsQuery::compactPlaytime("01:02:05"), "10205");
        QCOMPARE(StatsQuery::compactPlaytime("00:02:05"), "00205");
        QCOMPARE(StatsQuery::compactPlaytime("12:00:09"), "120009");

        // A '+' or '&' in a name must not turn into a space or a new item.
        const QUrl url = StatsReport::reportUrl(QUrl("http://stats.example.org:8080/ignored/path"),
                                                70, 4, "00:01:00", {"A+B", "C&D=E"});
        QCOMPARE(url.adjusted(QUrl::RemoveQuery),
                 QUrl("http://stats.example.org:8080/stats-report.php"));
        const auto items = queryItems('?' + url.query(QUrl::FullyEncoded).toUtf8());
        QCOMPARE(items.size(), 5);
        QCOMPARE(items[3].second, "A+B C&D=E");
        QCOMPARE(items[4].second, StatsQuery::authcode(70, 4, "00100", "A+B C&D=E"));

        // What the master server file's StatsUrl may say; without one it reads as empty.
        const auto endpoint = &StatsReport::endpointFromText;
        QCOMPARE(endpoint(QString()), QUrl());
        QCOMPARE(endpoint("stats.example.org:8080"), QUrl("http://stats.example.org:8080"));
        QCOMPARE(endpoint("ftp://stats.example.org"), QUrl());
        QCOMPARE(endpoint("https://s.example.org"), QUrl("https://s.example.org"));
    }
};

QTEST_GUILESS_MAIN(TestStatsReport)
#include "test_statsreport.moc"
