#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// Reports the result of a ranked game to the stats endpoint with an HTTP GET
// and says whether it arrived. A failed request is repeated a few times; every
// report stands on its own, so a new game may end while an older report is
// still being retried.
class StatsReport : public QObject {
    Q_OBJECT

public:
    // Key of "masterserver.ini" that names the endpoint, e.g. http://stats.example.org:8080
    static constexpr char kEndpointKey[] = "Master/General/StatsUrl";

    StatsReport(const QUrl& endpoint, int retries, int timeoutMs, QObject* parent = nullptr);
    // Drops pending requests without a word: nobody is left to tell.
    ~StatsReport() override;

    // The endpoint from "masterserver.ini" in directory (the working directory
    // by default); empty when the key is missing or holds no usable http(s) URL.
    static QUrl loadEndpoint(const QString& directory = QString());
    // The same from a file of any name.
    static QUrl loadEndpointFile(const QString& path);
    // A bare host[:port] is taken as http; anything but http(s) gives an empty URL.
    static QUrl endpointFromText(const QString& text);

    static QUrl reportUrl(const QUrl& endpoint, int score, int lines, const QString& playtime,
                          const QStringList& players);

    // Sends the report of one finished game; players in slot order.
    void send(int score, int lines, const QString& playtime, const QStringList& players);

Q_SIGNALS:
    void uploaded();
    void failed();

private:
    void get(const QUrl& url, int retriesMade);
    void statsFinished(QNetworkReply* reply, const QUrl& url, int retriesMade);

    QUrl endpoint_;
    int retries_;
    int timeoutMs_;
    QNetworkAccessManager* http_;
};
