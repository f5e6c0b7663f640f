#include "statsstore.h"

#include <QAtomicInteger>
#include <QCryptographicHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>

#include "statslog.h"

namespace {

constexpr qint64 kDayMs = 86400000;

// Step n brings a database from version n to n + 1; %ID% is the driver's
// auto-numbered key, %BLOB% its type for bytes.
const QList<QStringList>& migrations() {
    static const QList<QStringList> steps = {
        {
            QStringLiteral("CREATE TABLE games ("
                           "id %ID%, finished_at BIGINT NOT NULL, score INTEGER NOT NULL, "
                           "lines INTEGER NOT NULL, playtime_seconds INTEGER NOT NULL, "
                           "player_count INTEGER NOT NULL, players TEXT NOT NULL, "
                           "authcode TEXT NOT NULL, address TEXT NOT NULL)"),
            QStringLiteral("CREATE INDEX games_best ON games (player_count, score DESC, id)"),
            QStringLiteral("CREATE INDEX games_finished ON games (finished_at)"),
            QStringLiteral("CREATE INDEX games_authcode ON games (authcode)"),
            // Totals and the chart read one row a day, however many games there are.
            QStringLiteral("CREATE TABLE days (day BIGINT PRIMARY KEY, games BIGINT NOT NULL, "
                           "lines BIGINT NOT NULL, playtime_seconds BIGINT NOT NULL)"),
        },
        {
            // Games stored before have none: they stay as they are.
            QStringLiteral("ALTER TABLE games ADD COLUMN game_id TEXT"),
            QStringLiteral("CREATE INDEX games_game_id ON games (game_id)"),
        },
        {
            // Proven by a replay that plays to the result; games before are not.
            QStringLiteral("ALTER TABLE games ADD COLUMN verified INTEGER NOT NULL DEFAULT 0"),
            // Apart from the games, so that the leaderboard's reads stay small.
            QStringLiteral("CREATE TABLE replays (game BIGINT PRIMARY KEY, digest TEXT NOT NULL, "
                           "bytes %BLOB% NOT NULL)"),
            // One replay proves one game.
            QStringLiteral("CREATE UNIQUE INDEX replays_digest ON replays (digest)"),
        },
    };
    return steps;
}

const QString kGameColumns =
    QStringLiteral("id, finished_at, score, lines, playtime_seconds, players, verified");

StoredGame readGame(const QSqlQuery& q) {
    return {q.value(0).toLongLong(), q.value(1).toLongLong(),
            q.value(2).toInt(),      q.value(3).toInt(),
            q.value(4).toInt(),      q.value(5).toString().split(QLatin1Char(' ')),
            q.value(6).toInt() != 0};
}

}  // namespace

std::optional<StoreLocation> StoreLocation::parse(const QString& text, QString& error) {
    StoreLocation l;
    if (!text.startsWith(QLatin1String("postgresql://")) &&
        !text.startsWith(QLatin1String("postgres://"))) {
        l.path = text.isEmpty() ? QLatin1String(kDefaultFile) : text;
        return l;
    }
    const QUrl url(text, QUrl::StrictMode);
    const QString database = url.path().mid(1);
    if (!url.isValid() || url.host().isEmpty() || database.isEmpty() || database.contains('/')) {
        error = QStringLiteral(
                    "'%1' is no PostgreSQL URL of the form "
                    "postgresql://user@host[:port]/database.")
                    .arg(url.toDisplayString(QUrl::RemovePassword));
        return std::nullopt;
    }
    l.kind = Kind::Postgres;
    l.host = url.host();
    l.port = url.port();
    l.user = url.userName();
    l.password = url.password();
    l.database = database;
    QStringList options;
    for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        options << key + QLatin1Char('=') + value;
    }
    l.options = options.join(QLatin1Char(';'));
    return l;
}

QString StoreLocation::describe() const {
    if (kind == Kind::Sqlite) {
        return QStringLiteral("SQLite file %1").arg(path);
    }
    return QStringLiteral("PostgreSQL database %1 on %2:%3 as %4")
        .arg(database, host)
        .arg(port < 0 ? 5432 : port)
        .arg(user.isEmpty() ? QStringLiteral("(default user)") : user);
}

// Prepared once per connection; they go before the connection does.
struct StatsStore::Queries {
    explicit Queries(const QSqlDatabase& db)
        : add(db),
          addWithId(db),
          count(db),
          find(db),
          verify(db),
          keepReplay(db),
          replayOwner(db),
          replay(db),
          best(db),
          recent(db),
          totals(db),
          days(db) {
        // Casts let PostgreSQL type parameters that only appear in a select list.
        const QString insert = QStringLiteral(
            "INSERT INTO games (finished_at, score, lines, playtime_seconds, player_count, "
            "players, authcode, address, game_id) SELECT CAST(? AS BIGINT), CAST(? AS INTEGER), "
            "CAST(? AS INTEGER), CAST(? AS INTEGER), CAST(? AS INTEGER), CAST(? AS TEXT), "
            "CAST(? AS TEXT), CAST(? AS TEXT), CAST(? AS TEXT) WHERE NOT EXISTS (SELECT 1 FROM "
            "games WHERE ");
        add.prepare(insert + QStringLiteral("authcode = ? AND address = ? AND finished_at >= ? "
                                            "AND game_id IS NULL)"));
        addWithId.prepare(insert + QStringLiteral("game_id = ? AND authcode = ?)"));
        count.prepare(QStringLiteral(
            "INSERT INTO days (day, games, lines, playtime_seconds) VALUES (?, 1, ?, ?) "
            "ON CONFLICT (day) DO UPDATE SET games = days.games + 1, "
            "lines = days.lines + excluded.lines, "
            "playtime_seconds = days.playtime_seconds + excluded.playtime_seconds"));
        find.prepare(
            QStringLiteral("SELECT id, verified FROM games WHERE game_id = ? AND authcode = ?"));
        verify.prepare(
            QStringLiteral("UPDATE games SET verified = 1 WHERE id = ? AND verified = 0"));
        keepReplay.prepare(
            QStringLiteral("INSERT INTO replays (game, digest, bytes) VALUES (?, ?, ?)"));
        replayOwner.prepare(QStringLiteral(
            "SELECT g.game_id FROM replays r JOIN games g ON g.id = r.game WHERE r.digest = ?"));
        replay.prepare(QStringLiteral("SELECT bytes FROM replays WHERE game = ?"));
        best.prepare(QStringLiteral("SELECT %1 FROM games WHERE player_count = ? "
                                    "ORDER BY score DESC, id LIMIT %2")
                         .arg(kGameColumns)
                         .arg(Leaderboard::kBestRows));
        recent.prepare(QStringLiteral("SELECT %1 FROM games ORDER BY finished_at DESC, id DESC "
                                      "LIMIT %2")
                           .arg(kGameColumns)
                           .arg(Leaderboard::kRecentRows));
        totals.prepare(
            QStringLiteral("SELECT COALESCE(SUM(games), 0), COALESCE(SUM(lines), 0), "
                           "COALESCE(SUM(playtime_seconds), 0) FROM days"));
        days.prepare(QStringLiteral("SELECT day, games FROM days WHERE day >= ?"));
        for (QSqlQuery* q : {&find, &replayOwner, &replay, &best, &recent, &totals, &days}) {
            q->setForwardOnly(true);
        }
    }
    QSqlQuery add, addWithId, count, find, verify, keepReplay, replayOwner, replay, best, recent,
        totals, days;
};

StatsStore::StatsStore(const StoreLocation& location) : location_(location) {
    static QAtomicInteger<int> counter;
    connectionName_ = QStringLiteral("quadrell-stats-%1").arg(counter.fetchAndAddRelaxed(1));
}

StatsStore::~StatsStore() {
    queries_.reset();
    QSqlDatabase::database(connectionName_, false).close();
    QSqlDatabase::removeDatabase(connectionName_);
}

bool StatsStore::open() {
    return connect() && migrate();
}

bool StatsStore::connect() {
    queries_.reset();
    QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
    if (!db.isValid()) {
        const bool sqlite = location_.kind == StoreLocation::Kind::Sqlite;
        db = QSqlDatabase::addDatabase(sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"),
                                       connectionName_);
        if (sqlite) {
            db.setDatabaseName(location_.path);
            // Another process (a second service, a backup) may hold the lock briefly.
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        } else {
            db.setHostName(location_.host);
            db.setPort(location_.port);
            db.setUserName(location_.user);
            db.setPassword(location_.password);
            db.setDatabaseName(location_.database);
            db.setConnectOptions(location_.options);
        }
    }
    if (!db.isValid()) {
        error_ = QStringLiteral("no Qt SQL driver for %1").arg(location_.describe());
        return false;
    }
    db.close();
    if (!db.open()) {
        error_ = db.lastError().text();
        return false;
    }
    // WAL lets the page be read while reports are written; NORMAL syncs at
    // checkpoints, so a power cut may lose the last moments but never corrupts.
    if (location_.kind == StoreLocation::Kind::Sqlite &&
        !(exec(QStringLiteral("PRAGMA journal_mode=WAL")) &&
          exec(QStringLiteral("PRAGMA synchronous=NORMAL")))) {
        return false;
    }
    return true;
}

bool StatsStore::exec(const QString& statement) {
    QSqlQuery q(QSqlDatabase::database(connectionName_, false));
    return q.exec(statement) || failed(q);
}

bool StatsStore::failed(const QSqlQuery& query) {
    error_ = query.lastError().text();
    qCDebug(lcStats) << "database:" << error_;
    // Connect again on the next call: a restarted database server does not
    // always say that the connection is gone.
    queries_.reset();
    return false;
}

bool StatsStore::migrate() {
    QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
    const bool fresh = !db.tables().contains(QLatin1String("schema_version"));
    const bool sqlite = location_.kind == StoreLocation::Kind::Sqlite;
    const QString id = sqlite
                           ? QStringLiteral("INTEGER PRIMARY KEY")
                           : QStringLiteral("BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY");
    const QString blob = sqlite ? QStringLiteral("BLOB") : QStringLiteral("BYTEA");
    // Several services sharing a database may start at once: whoever loses
    // the race finds the schema made by the other when it looks again.
    for (int attempt = 0; attempt < 2; ++attempt) {
        int version = 0;
        if (!fresh || attempt > 0) {
            QSqlQuery q(db);
            if (!q.exec(QStringLiteral("SELECT MAX(version) FROM schema_version"))) {
                if (attempt == 0 && !fresh) {
                    return failed(q);
                }
            } else if (q.next()) {
                version = q.value(0).toInt();
            }
        }
        if (version > kSchemaVersion) {
            error_ = QStringLiteral("the database has schema version %1; this program knows %2")
                         .arg(version)
                         .arg(kSchemaVersion);
            return false;
        }
        if (version == kSchemaVersion) {
            queries_ = std::make_unique<Queries>(db);
            return true;
        }
        bool ok = db.transaction();
        if (ok && version == 0) {
            ok = exec(QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)"));
        }
        for (int step = version; ok && step < kSchemaVersion; ++step) {
            for (const QString& statement : migrations().at(step)) {
                ok = ok && exec(QString(statement)
                                    .replace(QLatin1String("%ID%"), id)
                                    .replace(QLatin1String("%BLOB%"), blob));
            }
        }
        ok = ok && exec(QStringLiteral("DELETE FROM schema_version")) &&
             exec(QStringLiteral("INSERT INTO schema_version (version) VALUES (%1)")
                      .arg(kSchemaVersion)) &&
             db.commit();
        if (ok) {
            queries_ = std::make_unique<Queries>(db);
            return true;
        }
        db.rollback();
    }
    return false;
}

StatsStore::Added StatsStore::add(const GameReport& r, const QString& address, qint64 nowMs,
                                  qint64 sinceMs, const QByteArray& verifiedReplay) {
    if (!queries_ && !open()) {
        return Added::Failed;
    }
    QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
    const bool withId = !r.gameId.isEmpty();
    if (!verifiedReplay.isEmpty() && !withId) {
        error_ = QStringLiteral("a verified game needs its id");
        return Added::Failed;
    }
    QSqlQuery& q = withId ? queries_->addWithId : queries_->add;
    QVariantList values = {nowMs,
                           r.score,
                           r.lines,
                           r.playtimeSeconds,
                           static_cast<int>(r.players.size()),
                           r.players.join(QLatin1Char(' ')),
                           r.authcode,
                           address,
                           withId ? QVariant(r.gameId) : QVariant(QMetaType(QMetaType::QString))};
    if (withId) {
        values << r.gameId << r.authcode;
    } else {
        values << r.authcode << address << sinceMs;
    }
    for (int i = 0; i < int(values.size()); ++i) {
        q.bindValue(i, values[i]);
    }
    // The game, its replay and its day's count go in together or not at all.
    if (!db.transaction()) {
        error_ = db.lastError().text();
        queries_.reset();
        return Added::Failed;
    }
    const auto fail = [&](const QSqlQuery& failedQuery) {
        db.rollback();
        failed(failedQuery);
        return Added::Failed;
    };
    const QString digest =
        verifiedReplay.isEmpty()
            ? QString()
            : QString::fromLatin1(
                  QCryptographicHash::hash(verifiedReplay, QCryptographicHash::Sha256).toHex());
    if (!digest.isEmpty()) {
        QSqlQuery& owner = queries_->replayOwner;
        owner.bindValue(0, digest);
        if (!owner.exec()) {
            return fail(owner);
        }
        const bool another = owner.next() && owner.value(0).toString() != r.gameId;
        owner.finish();
        if (another) {
            db.rollback();
            return Added::ReplayTaken;
        }
    }
    if (!q.exec()) {
        return fail(q);
    }
    const bool inserted = q.numRowsAffected() > 0;
    if (inserted) {
        QSqlQuery& count = queries_->count;
        count.bindValue(0, nowMs / kDayMs);
        count.bindValue(1, r.lines);
        count.bindValue(2, r.playtimeSeconds);
        if (!count.exec()) {
            return fail(count);
        }
    }
    bool verified = false;
    if (!verifiedReplay.isEmpty()) {
        // The game as stored now or by its unproven report before: it gains the proof once.
        QSqlQuery& find = queries_->find;
        find.bindValue(0, r.gameId);
        find.bindValue(1, r.authcode);
        if (!find.exec() || !find.next()) {
            return fail(find);
        }
        const qint64 id = find.value(0).toLongLong();
        const bool before = find.value(1).toInt() != 0;
        find.finish();
        if (!before) {
            QSqlQuery& verify = queries_->verify;
            QSqlQuery& keep = queries_->keepReplay;
            verify.bindValue(0, id);
            keep.bindValue(0, id);
            keep.bindValue(1, digest);
            keep.bindValue(2, verifiedReplay);
            if (!verify.exec()) {
                return fail(verify);
            }
            if (!keep.exec()) {
                return fail(keep);
            }
            verified = true;
        }
    }
    if (!db.commit()) {
        return fail(q);
    }
    return inserted ? Added::Stored : verified ? Added::Verified : Added::Duplicate;
}

std::optional<QByteArray> StatsStore::replay(qint64 gameId) {
    if (!queries_ && !open()) {
        return std::nullopt;
    }
    QSqlQuery& q = queries_->replay;
    q.bindValue(0, gameId);
    if (!q.exec()) {
        failed(q);
        return std::nullopt;
    }
    QByteArray bytes = q.next() ? q.value(0).toByteArray() : QByteArray();
    q.finish();
    return bytes;
}

std::optional<Leaderboard> StatsStore::leaderboard(qint64 nowMs) {
    if (!queries_ && !open()) {
        return std::nullopt;
    }
    Queries& qs = *queries_;
    // One query at a time, read to its end: PostgreSQL's driver drops the
    // rows of a query that another one overtakes.
    const auto run = [this](QSqlQuery& q, const auto& readRow) {
        if (!q.exec()) {
            return failed(q);
        }
        while (q.next()) {
            readRow(q);
        }
        q.finish();
        return true;
    };
    Leaderboard board;
    for (int players = 1; players <= 4; ++players) {
        qs.best.bindValue(0, players);
        if (!run(qs.best, [&](const QSqlQuery& q) { board.best[players - 1] << readGame(q); })) {
            return std::nullopt;
        }
    }
    const qint64 today = nowMs / kDayMs;
    board.firstDay = today - Leaderboard::kDays + 1;
    board.gamesPerDay = QList<int>(Leaderboard::kDays, 0);
    qs.days.bindValue(0, board.firstDay);
    const bool ok = run(qs.recent, [&](const QSqlQuery& q) { board.recent << readGame(q); }) &&
                    run(qs.totals,
                        [&](const QSqlQuery& q) {
                            board.games = q.value(0).toLongLong();
                            board.lines = q.value(1).toLongLong();
                            board.playtimeSeconds = q.value(2).toLongLong();
                        }) &&
                    run(qs.days, [&](const QSqlQuery& q) {
                        const qint64 slot = q.value(0).toLongLong() - board.firstDay;
                        if (slot >= 0 && slot < Leaderboard::kDays) {
                            board.gamesPerDay[slot] = q.value(1).toInt();
                        }
                    });
    if (!ok) {
        return std::nullopt;
    }
    return board;
}
