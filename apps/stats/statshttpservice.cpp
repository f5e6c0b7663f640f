#include "statshttpservice.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpServer>

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
        case ReportIntake::Verdict::Retry:
            return Status::Ok;
        case ReportIntake::Verdict::Refused:
            return Status::BadRequest;
        case ReportIntake::Verdict::Limited:
            return Status::TooManyRequests;
        case ReportIntake::Verdict::Unstored:
            break;
    }
    return Status::ServiceUnavailable;
}

}  // namespace

StatsHttpService::StatsHttpService(StatsStore& store, const ReportIntake::Limits& limits,
                                   QObject* parent)
    : QObject(parent), store_(store), intake_(store, limits) {
    using Method = QHttpServerRequest::Method;
    // Route paths are patterns: the dot of ".php" must be only a dot.
    http_.route(QRegularExpression::escape(QLatin1String(StatsQuery::kPath)), Method::Get,
                [this](const QHttpServerRequest& r) { return processReport(r); });
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

QHttpServerResponse StatsHttpService::processReport(const QHttpServerRequest& request) {
    const QHostAddress from = request.remoteAddress();
    const ReportIntake::Outcome o =
        intake_.take(request.query(), from, QDateTime::currentMSecsSinceEpoch());
    const GameReport& g = o.report;
    const QString game =
        QStringLiteral("score %1, lines %2, %3, %4")
            .arg(g.score)
            .arg(g.lines)
            .arg(LeaderboardPage::playtime(g.playtimeSeconds), g.players.join(QLatin1Char(' ')));
    const QString sender = from.toString();
    switch (o.verdict) {
        case ReportIntake::Verdict::Accepted:
            Q_EMIT logLine(QStringLiteral("accepted from %1: %2").arg(sender, game));
            break;
        case ReportIntake::Verdict::Retry:
            Q_EMIT logLine(QStringLiteral("accepted again from %1 (a retry, stored once): %2")
                               .arg(sender, game));
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
