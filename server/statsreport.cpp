#include "statsreport.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QSettings>
#include <QTimer>

#include "game/appinfo.h"
#include "network/statsquery.h"
#include "server/statsoutbox.h"
#include "serverlog.h"

StatsReport::StatsReport(const QUrl& endpoint, const ServerTimings& timings, const Clock& clock,
                         QObject* parent)
    : QObject(parent),
      endpoint_(endpoint),
      timings_(timings),
      clock_(clock),
      gameIds_([] { return QRandomGenerator::system()->generate64(); }),
      http_(new QNetworkAccessManager(this)) {}

StatsReport::~StatsReport() {
    for (QNetworkReply* reply : http_->findChildren<QNetworkReply*>()) {
        disconnect(reply, nullptr, this, nullptr);
    }
}

QUrl StatsReport::loadEndpointFile(const QString& path) {
    const QSettings file(path, QSettings::IniFormat);
    return endpointFromText(file.value(QLatin1String(kEndpointKey)).toString());
}

QUrl StatsReport::endpointFromText(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        return {};
    }
    QUrl url(trimmed.contains(QLatin1String("://")) ? trimmed : QStringLiteral("http://") + trimmed,
             QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        return {};
    }
    return url;
}

QUrl StatsReport::reportUrl(const QUrl& endpoint, const QByteArray& query) {
    QUrl url;
    url.setScheme(endpoint.scheme());
    url.setHost(endpoint.host());
    url.setPort(endpoint.port());
    url.setPath(QLatin1String(StatsQuery::kPath));
    url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    return url;
}

QUrl StatsReport::reportUrl(const QUrl& endpoint, int score, int lines, const QString& playtime,
                            const QStringList& players) {
    return reportUrl(endpoint, StatsQuery::encode(score, lines, playtime, players));
}

void StatsReport::send(int score, int lines, const QString& playtime, const QStringList& players) {
    if (endpoint_.isEmpty()) {
        return;
    }
    const QString game = StatsQuery::gameId(gameIds_());
    pending_.push_back({StatsQuery::encode(score, lines, playtime, players, game), 0,
                        clock_.nowMs(), true, false, nullptr});
    save();
    attempt(std::prev(pending_.end()));
}

void StatsReport::keepUnsentIn(const QString& path) {
    outbox_ = std::make_unique<StatsOutbox>(path);
    const std::optional<QByteArrayList> left = outbox_->open();
    if (!left) {
        Q_EMIT storageError(outbox_->error() +
                            QStringLiteral("; unsent reports are kept in memory only"));
        return;
    }
    for (const QByteArray& query : *left) {
        pending_.push_back({query, 0, clock_.nowMs(), false, true, nullptr});
        attempt(std::prev(pending_.end()));
    }
    save();
}

void StatsReport::save() {
    if (!outbox_ || !outbox_->isOpen()) {
        return;
    }
    QByteArrayList queries;
    for (const Pending& p : pending_) {
        queries << p.query;
    }
    if (!outbox_->save(queries)) {
        Q_EMIT storageError(outbox_->error() +
                            QStringLiteral("; unsent reports are kept in memory"));
    }
}

void StatsReport::attempt(Iterator p) {
    ++p->attempts;
    QNetworkRequest request(reportUrl(endpoint_, p->query));
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("%1 %2").arg(QLatin1String(Quadrell::kApplicationName),
                                                  QLatin1String(Quadrell::kVersion)));
    request.setTransferTimeout(timings_.statsTimeoutMs);
    QNetworkReply* reply = http_->get(request);
    qCDebug(lcServer) << "stats report, attempt" << p->attempts << p->query;
    connect(reply, &QNetworkReply::finished, this, [this, reply, p] { statsFinished(reply, p); });
}

void StatsReport::statsFinished(QNetworkReply* reply, Iterator p) {
    const QByteArray body = reply->readAll();
    reply->close();
    reply->deleteLater();
    if (body == "true") {
        if (p->ownGame) {
            Q_EMIT uploaded();
        }
        finish(p);
        return;
    }
    qCDebug(lcServer) << "stats report failed:" << reply->errorString() << body.left(80);
    if (!p->told && p->attempts > timings_.statsRetries) {
        p->told = true;
        Q_EMIT failed();
    }
    if (clock_.nowMs() - p->firstAttemptMs >= timings_.statsGiveUpMs) {
        qCDebug(lcServer) << "stats report given up after" << p->attempts << "attempts";
        finish(p);
        return;
    }
    const int doublings = std::min(p->attempts - 1, 30);
    const qint64 pause = std::min<qint64>(qint64(timings_.statsFirstPauseMs) << doublings,
                                          timings_.statsLongestPauseMs);
    if (!p->pause) {
        p->pause = new QTimer(this);
        p->pause->setSingleShot(true);
        connect(p->pause, &QTimer::timeout, this, [this, p] { attempt(p); });
    }
    p->pause->start(int(pause));
}

void StatsReport::finish(Iterator p) {
    delete p->pause;
    pending_.erase(p);
    save();
}
