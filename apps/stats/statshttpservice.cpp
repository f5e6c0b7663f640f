#include "statshttpservice.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpServer>

#include "game/replayfile.h"
#include "network/statsquery.h"
#include "stats/leaderboardpage.h"

namespace {

using Status = QHttpServerResponse::StatusCode;

QHttpServerResponse plain(const QByteArray& body, Status status) {
    QHttpServerResponse r(QByteArrayLiteral("text/plain; charset=utf-8"), body, status);
    r.addHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-store"));
    return r;
}

Status statusOf(ReportIntake::Verdict verdict) {
    switch (verdict) {
        case ReportIntake::Verdict::Accepted:
        case ReportIntake::Verdict::Verified:
        case ReportIntake::Verdict::Retry:
            return Status::Ok;
        case ReportIntake::Verdict::Refused:
            return Status::BadRequest;
        case ReportIntake::Verdict::OverBudget:
            return Status::UnprocessableEntity;
        case ReportIntake::Verdict::Limited:
            return Status::TooManyRequests;
        case ReportIntake::Verdict::Unstored:
            break;
    }
    return Status::ServiceUnavailable;
}

}  // namespace

StatsHttpService::StatsHttpService(StatsStore& store, const ReportIntake::Limits& limits,
                                   ReplayBudget budget, QObject* parent)
    : QObject(parent), store_(store), intake_(store, limits, std::move(budget)) {
    using Method = QHttpServerRequest::Method;
    // Route paths are patterns: the dot of ".php" must be only a dot.
    const QString report = QRegularExpression::escape(QLatin1String(StatsQuery::kPath));
    http_.route(report, Method::Get,
                [this](const QHttpServerRequest& r) { return processReport(r, false); });
    http_.route(report, Method::Post,
                [this](const QHttpServerRequest& r) { return processReport(r, true); });
    http_.route(QStringLiteral("/replay/<arg>"), Method::Get,
                [this](qint64 id) { return processReplay(id); });
    http_.route(QStringLiteral("/"), Method::Get, [this] { return processLeaderboard(false); });
    http_.route(QStringLiteral("/leaderboard.json"), Method::Get,
                [this] { return processLeaderboard(true); });
}

StatsHttpService::~StatsHttpService() = default;

bool StatsHttpService::listen(const QHostAddress& address, int port) {
    auto tcp = std::make_unique<QTcpServer>(&http_);
    if (!tcp->listen(address, static_cast<quint16>(port))) {
        error_ = tcp->errorString();
        return false;
    }
    tcp_ = tcp.release();
    http_.bind(tcp_);
    return true;
}

int StatsHttpService::port() const {
    return tcp_ ? tcp_->serverPort() : -1;
}

QHttpServerResponse StatsHttpService::processReport(const QHttpServerRequest& request,
                                                    bool withReplay) {
    const QHostAddress from = request.remoteAddress();
    const QString sender = from.toString();
    if (withReplay && request.body().size() > ReplayFile::kMaxBytes) {
        Q_EMIT logLine(QStringLiteral("refused from %1: a replay of %2 bytes")
                           .arg(sender)
                           .arg(request.body().size()));
        return plain(QByteArrayLiteral("The replay is too big."), Status::PayloadTooLarge);
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const ReportIntake::Outcome o =
        withReplay ? intake_.takeWithReplay(request.query(), request.body(), from, now)
                   : intake_.take(request.query(), from, now);
    const GameReport& g = o.report;
    const QString game =
        QStringLiteral("score %1, lines %2, %3, %4")
            .arg(g.score)
            .arg(g.lines)
            .arg(LeaderboardPage::playtime(g.playtimeSeconds), g.players.join(QLatin1Char(' ')));
    const QString proof = withReplay ? QStringLiteral(", verified") : QString();
    switch (o.verdict) {
        case ReportIntake::Verdict::Accepted:
            Q_EMIT logLine(QStringLiteral("accepted from %1%2: %3").arg(sender, proof, game));
            break;
        case ReportIntake::Verdict::Verified:
            Q_EMIT logLine(
                QStringLiteral("verified from %1, stored before unproven: %2").arg(sender, game));
            break;
        case ReportIntake::Verdict::Retry:
            Q_EMIT logLine(QStringLiteral("accepted again from %1%2 (a retry, stored once): %3")
                               .arg(sender, proof, game));
            break;
        case ReportIntake::Verdict::Unstored:
            Q_EMIT logLine(QStringLiteral("not stored from %1: %2").arg(sender, o.reason));
            break;
        default:
            Q_EMIT logLine(QStringLiteral("refused from %1: %2").arg(sender, o.reason));
            break;
    }
    // The database's own words stay in the log.
    const QByteArray body = o.stored() ? QByteArrayLiteral("true")
                            : o.verdict == ReportIntake::Verdict::Unstored
                                ? QByteArrayLiteral("The game could not be stored just now.")
                                : o.reason.toUtf8();
    return plain(body, statusOf(o.verdict));
}

QHttpServerResponse StatsHttpService::processReplay(qint64 gameId) {
    const std::optional<QByteArray> bytes = store_.replay(gameId);
    if (!bytes) {
        return plain(QByteArrayLiteral("The replay cannot be read just now."),
                     Status::ServiceUnavailable);
    }
    if (bytes->isEmpty()) {
        return plain(QByteArrayLiteral("No verified game of this number."), Status::NotFound);
    }
    QHttpServerResponse r(QByteArrayLiteral("application/x-quadrell-replay"), *bytes);
    r.addHeader(
        QByteArrayLiteral("Content-Disposition"),
        QStringLiteral("attachment; filename=\"quadrell-game-%1.qrpl\"").arg(gameId).toLatin1());
    r.addHeader(QByteArrayLiteral("X-Content-Type-Options"), QByteArrayLiteral("nosniff"));
    return r;
}

QHttpServerResponse StatsHttpService::processLeaderboard(bool asJson) {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const std::optional<Leaderboard> board = store_.leaderboard(now);
    if (!board) {
        return plain(QByteArrayLiteral("The leaderboard cannot be read just now."),
                     Status::ServiceUnavailable);
    }
    QHttpServerResponse r =
        asJson ? QHttpServerResponse(QByteArrayLiteral("application/json"),
                                     QJsonDocument(LeaderboardPage::json(*board, now)).toJson())
               : QHttpServerResponse(QByteArrayLiteral("text/html; charset=utf-8"),
                                     LeaderboardPage::html(*board, now));
    // Nothing on the page comes from elsewhere, and nothing may.
    r.addHeader(QByteArrayLiteral("Content-Security-Policy"),
                QByteArrayLiteral("default-src 'none'; style-src 'unsafe-inline'"));
    r.addHeader(QByteArrayLiteral("X-Content-Type-Options"), QByteArrayLiteral("nosniff"));
    return r;
}
