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

void StatsReport::send(int score, int lines, const QString& playtime, const QStringList& players,
                       const QByteArray& replay) {
    if (endpoint_.isEmpty()) {
        return;
    }
    const QString game = StatsQuery::gameId(gameIds_());
    Pending p;
    p.query = StatsQuery::encode(score, lines, playtime, players, game);
    p.replay = replay;
    p.posted = replay.isEmpty();
    p.firstAttemptMs = clock_.nowMs();
    pending_.push_back(std::move(p));
    save();
    attempt(std::prev(pending_.end()));
}

void StatsReport::keepUnsentIn(const QString& path) {
    outbox_ = std::make_unique<StatsOutbox>(path);
    const std::optional<StatsOutbox::Reports> left = outbox_->open();
    if (!left) {
        Q_EMIT storageError(outbox_->error() +
                            QStringLiteral("; unsent reports are kept in memory only"));
        return;
    }
    for (const StatsOutbox::Report& r : *left) {
        Pending p;
        p.query = r.query;
        p.replay = r.replay;
        p.posted = r.replay.isEmpty();
        p.firstAttemptMs = clock_.nowMs();
        p.ownGame = false;
        p.told = true;
        pending_.push_back(std::move(p));
        attempt(std::prev(pending_.end()));
    }
    save();
}

void StatsReport::save() {
    if (!outbox_ || !outbox_->isOpen()) {
        return;
    }
    StatsOutbox::Reports reports;
    for (const Pending& p : pending_) {
        reports.append({p.query, p.posted ? QByteArray() : p.replay});
    }
    if (!outbox_->save(reports)) {
        Q_EMIT storageError(outbox_->error() +
                            QStringLiteral("; unsent reports are kept in memory"));
    }
}

void StatsReport::attempt(Iterator p) {
    ++p->attempts;
    p->postedBefore = p->posted;
    QNetworkRequest request(reportUrl(endpoint_, p->query));
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("%1 %2").arg(QLatin1String(Quadrell::kApplicationName),
                                                  QLatin1String(Quadrell::kVersion)));
    request.setTransferTimeout(timings_.statsTimeoutMs);
    qCDebug(lcServer) << "stats report, attempt" << p->attempts << p->query;
    const auto await = [this, p](QNetworkReply* reply, bool post) {
        ++p->inFlight;
        connect(reply, &QNetworkReply::finished, this,
                [this, reply, p, post] { statsFinished(reply, p, post); });
    };
    if (!p->stored) {
        await(http_->get(request), false);
    }
    if (!p->posted) {
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QByteArrayLiteral("application/octet-stream"));
        await(http_->post(request, p->replay), true);
    }
}

void StatsReport::statsFinished(QNetworkReply* reply, Iterator p, bool post) {
    const QByteArray body = reply->readAll();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    reply->close();
    reply->deleteLater();
    --p->inFlight;
    if (post) {
        // A 4xx stays one: an older service, or a replay this service will not take.
        p->posted = body == "true" || (status >= 400 && status < 500);
        if (body != "true") {
            qCDebug(lcServer) << "stats replay not taken:" << status << body.left(80);
        }
    } else if (body == "true") {
        p->stored = true;
        if (p->ownGame) {
            Q_EMIT uploaded();
        }
    } else {
        qCDebug(lcServer) << "stats report failed:" << reply->errorString() << body.left(80);
    }
    if (p->inFlight > 0) {
        return;
    }
    if (p->stored && p->posted) {
        finish(p);
        return;
    }
    if (p->posted != p->postedBefore) {
        save();  // the replay is no longer kept
    }
    if (!p->stored && !p->told && p->attempts > timings_.statsRetries) {
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
