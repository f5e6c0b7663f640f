// Load on a real quadrell-stats over loopback: accepted reports per second
// from 50 clients at once (each on a kept-alive connection with one request in
// flight), with a SQLite file and with a scratch PostgreSQL server; then the
// leaderboard with 100,000 stored games and the space those games take.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "network/statsquery.h"
#include "stats/statsstore.h"

namespace {

constexpr int kClients = 50;
constexpr int kBoardGames = 100000;

QByteArray reportRequest(int i) {
    // Every report its own game, so none is taken for a retry.
    const int seconds = 60 + i % 3000;
    const QString playtime = QStringLiteral("00:%1:%2")
                                 .arg(seconds / 60, 2, 10, QLatin1Char('0'))
                                 .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return "GET " + QByteArray(StatsQuery::kPath) + '?' +
           StatsQuery::encode(seconds + 10 * (i % 7), i % 7, playtime,
                              {QStringLiteral("Load%1").arg(i), QStringLiteral("Bench")}) +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: Quadrell Beta 0.92\r\n\r\n";
}

// One response read off a buffer: its body, or nothing while incomplete.
std::optional<QByteArray> takeResponse(QByteArray& buffer) {
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0) {
        return std::nullopt;
    }
    const QByteArray head = buffer.left(end).toLower();
    const qsizetype at = head.indexOf("content-length:");
    const qsizetype length =
        at < 0 ? 0 : head.mid(at + 15).split('\r').first().trimmed().toLongLong();
    if (buffer.size() < end + 4 + length) {
        return std::nullopt;
    }
    QByteArray body = buffer.mid(end + 4, length);
    buffer.remove(0, end + 4 + length);
    return body;
}

int freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

struct Service {
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    int port = freePort();
};

// quadrell-stats on a database, its log into a file so that writing it never waits on us.
std::unique_ptr<Service> startService(const QString& database, const QString& logFile) {
    auto s = std::make_unique<Service>();
    s->process->setStandardOutputFile(logFile);
    s->process->start(QCoreApplication::applicationDirPath() + "/../bin/quadrell-stats",
                      {"--bind", "127.0.0.1", "--port", QString::number(s->port), "--database",
                       database, "--rate-limit", "6000000"});
    for (int i = 0; i < 100; ++i) {
        QFile log(logFile);
        if (log.open(QIODevice::ReadOnly) && log.readAll().contains("listening")) {
            return s;
        }
        QThread::msleep(50);
    }
    std::fprintf(stderr, "bench_stats: quadrell-stats did not start\n");
    return nullptr;
}

// Sends `total` reports over kClients connections; returns accepted per second.
double loadReports(int port, int total, int first) {
    std::vector<QByteArray> requests;
    for (int i = 0; i < total; ++i) {
        requests.push_back(reportRequest(first + i));
    }
    int sent = 0, answered = 0, accepted = 0;
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    std::vector<QByteArray> buffers(kClients);
    QEventLoop loop;
    QElapsedTimer timer;
    timer.start();
    for (int c = 0; c < kClients; ++c) {
        auto* s = sockets.emplace_back(std::make_unique<QTcpSocket>()).get();
        const auto next = [&, s] {
            if (sent < total) {
                s->write(requests[sent++]);
            }
        };
        QObject::connect(s, &QTcpSocket::connected, next);
        QObject::connect(s, &QTcpSocket::readyRead, [&, s, c, next] {
            buffers[c] += s->readAll();
            while (auto body = takeResponse(buffers[c])) {
                accepted += *body == "true";
                if (++answered == total) {
                    loop.quit();
                }
                next();
            }
        });
        s->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    }
    loop.exec();
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (accepted != total) {
        std::printf("  only %d of %d reports accepted\n", accepted, total);
    }
    return accepted / seconds;
}

// Median and 99th percentile of GET path in ms, over one kept-alive connection.
std::pair<double, double> timePage(int port, const QByteArray& path, int runs) {
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    s.waitForConnected(5000);
    std::vector<double> ms;
    QByteArray buffer;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        s.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        std::optional<QByteArray> body;
        while (!(body = takeResponse(buffer)) && s.waitForReadyRead(10000)) {
            buffer += s.readAll();
        }
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[ms.size() * 99 / 100]};
}

// Fills the database through the store itself; returns games per second.
double fill(const StoreLocation& where, int games) {
    StatsStore store(where);
    if (!store.open()) {
        std::fprintf(stderr, "bench_stats: %s\n", qPrintable(store.error()));
        return 0;
    }
    QElapsedTimer t;
    t.start();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (int i = 0; i < games; ++i) {
        GameReport r{100 + i % 5000 + 10 * (i % 90),
                     i % 90,
                     100 + i % 5000,
                     QStringList(1 + i % 4, QStringLiteral("Player%1").arg(i % 977)),
                     QString::number(i),
                     QStringLiteral("%1").arg(i, 16, 16, QLatin1Char('0'))};
        store.add(r, QStringLiteral("127.0.0.1"), now - qint64(i) * 40000, now);
    }
    return games / (t.nsecsElapsed() / 1e9);
}

// Reports over HTTP, numbered from first on; returns how many were sent.
int load(const QString& label, const QString& database, const QString& log, int reports,
         int first) {
    auto service = startService(database, log);
    if (!service) {
        return 0;
    }
    std::printf("  %s: %d reports from %d clients, %.0f accepted per second\n", qPrintable(label),
                reports, kClients, loadReports(service->port, reports, first));
    service->process->terminate();
    service->process->waitForFinished();
    return reports;
}

// Fills up to kBoardGames, then times the page and the JSON.
void board(const QString& database, const QString& log, int stored,
           const std::function<qint64()>& size) {
    QString error;
    const double rate = fill(StoreLocation::parse(database, error).value(), kBoardGames - stored);
    std::printf("  %d more games stored directly: %.0f per second\n", kBoardGames - stored, rate);
    std::printf("  %d games take %.1f MB\n", kBoardGames, size() / 1e6);
    auto service = startService(database, log);
    if (!service) {
        return;
    }
    for (const QByteArray& path : {QByteArray("/"), QByteArray("/leaderboard.json")}) {
        const auto [median, p99] = timePage(service->port, path, 200);
        std::printf("  GET %s with %d games: median %.2f ms, 99th percentile %.2f ms\n",
                    path.constData(), kBoardGames, median, p99);
    }
    service->process->terminate();
    service->process->waitForFinished();
}

bool execPostgres(const QString& url, const QString& statement, qint64* value = nullptr) {
    QString error;
    const StoreLocation l = StoreLocation::parse(url, error).value();
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "bench");
        db.setHostName(l.host);
        db.setPort(l.port);
        db.setUserName(l.user);
        db.setDatabaseName(l.database);
        QSqlQuery q(db);
        ok = db.open() && q.exec(statement);
        if (ok && value && q.next()) {
            *value = q.value(0).toLongLong();
        }
    }
    QSqlDatabase::removeDatabase("bench");
    return ok;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString log = dir.filePath("stats.log");
    const QString file = dir.filePath("stats.sqlite");
    std::printf("== SQLite (WAL, synced at checkpoints)\n");
    const int sent = load("HTTP", file, log, 20000, 0);
    board(file, log, sent, [&] { return QFileInfo(file).size(); });

    const QString script = QStringLiteral(QUADRELL_SCRATCH_POSTGRES);
    QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFile::ExeOther);
    QProcess start;
    start.start(script, {"start", dir.filePath("pg"), QString::number(freePort())});
    start.waitForFinished(60000);
    const QString url = QString::fromUtf8(start.readAllStandardOutput()).trimmed();
    if (start.exitCode() != 0 || url.isEmpty()) {
        std::printf("== PostgreSQL: no scratch server (%s)\n",
                    start.readAllStandardError().constData());
        return 0;
    }
    std::printf("== PostgreSQL 127.0.0.1 (fsync on)\n");
    int stored = load("every commit synced", url, log, 3000, 0);
    // Like SQLite's setting: a crash may lose the last commits, never the table.
    execPostgres(url, "ALTER DATABASE stats SET synchronous_commit = off");
    stored += load("synchronous_commit off", url, log, 10000, stored);
    board(url, log, stored, [&] {
        qint64 bytes = -1;
        execPostgres(url, "SELECT pg_total_relation_size('games') + pg_total_relation_size('days')",
                     &bytes);
        return bytes;
    });
    QProcess::execute(script, {"stop", dir.filePath("pg")});
    return 0;
}
