#include "statsreport.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>

#include "game/appinfo.h"
#include "network/statsquery.h"
#include "serverlog.h"

StatsReport::StatsReport(const QUrl& endpoint, int retries, int timeoutMs, QObject* parent)
    : QObject(parent),
      endpoint_(endpoint),
      retries_(retries),
      timeoutMs_(timeoutMs),
      http_(new QNetworkAccessManager(this)) {}

StatsReport::~StatsReport() {
    for (QNetworkReply* reply : http_->findChildren<QNetworkReply*>()) {
        disconnect(reply, nullptr, this, nullptr);
    }
}

QUrl StatsReport::loadEndpoint(const QString& directory) {
    return loadEndpointFile(QDir(directory.isEmpty() ? QDir::currentPath() : directory)
                                .filePath(QLatin1String(Quadrell::kMasterserverFile)));
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

QUrl StatsReport::reportUrl(const QUrl& endpoint, int score, int lines, const QString& playtime,
                            const QStringList& players) {
    QUrl url;
    url.setScheme(endpoint.scheme());
    url.setHost(endpoint.host());
    url.setPort(endpoint.port());
    url.setPath(QLatin1String(StatsQuery::kPath));
    url.setQuery(QString::fromLatin1(StatsQuery::encode(score, lines, playtime, players)),
                 QUrl::StrictMode);
    return url;
}

void StatsReport::send(int score, int lines, const QString& playtime, const QStringList& players) {
    if (endpoint_.isEmpty()) {
        return;
    }
    get(reportUrl(endpoint_, score, lines, playtime, players), 0);
}

void StatsReport::get(const QUrl& url, int retriesMade) {
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("%1 %2").arg(QLatin1String(Quadrell::kApplicationName),
                                                  QLatin1String(Quadrell::kVersion)));
    request.setTransferTimeout(timeoutMs_);
    QNetworkReply* reply = http_->get(request);
    qCDebug(lcServer) << "stats report, attempt" << retriesMade + 1 << url;
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, url, retriesMade] { statsFinished(reply, url, retriesMade); });
}

void StatsReport::statsFinished(QNetworkReply* reply, const QUrl& url, int retriesMade) {
    const QByteArray body = reply->readAll();
    reply->close();
    reply->deleteLater();
    if (body == "true") {
        Q_EMIT uploaded();
    } else if (retriesMade < retries_) {
        get(url, retriesMade + 1);
    } else {
        qCDebug(lcServer) << "stats report failed:" << reply->errorString();
        Q_EMIT failed();
    }
}
