#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <list>
#include <memory>

#include "game/clock.h"
#include "server/serversettings.h"

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
class StatsOutbox;

// Reports the result of a ranked game to the stats endpoint with an HTTP GET
// and says whether it arrived. Beside it goes a POST of the same query whose
// body is the game's replay, for services that prove a result by playing it
// again; older ones refuse the POST and take the GET. A POST refused for good
// (any 4xx) is not sent again; the GET alone decides what the players hear. A report that fails is
// kept and sent again after growing pauses (ServerTimings: doubled from the first up to the
// longest), until the service takes it or a failed attempt comes after the
// give-up time; the players hear the outcome once, after the first attempts,
// and again should a later one succeed. Every report carries a game id drawn
// when the game ends, so that the service stores a late retry only once.
//
// keepUnsentIn() keeps the reports not yet taken in a file (StatsOutbox) and
// sends what an earlier run left there; its give-up time starts anew, since
// it was the server that was gone, not the service.
class StatsReport : public QObject {
    Q_OBJECT

public:
    // Key of "masterserver.ini" that names the endpoint, e.g. http://stats.example.org:8080
    static constexpr char kEndpointKey[] = "Master/General/StatsUrl";
    using GameIdSource = std::function<quint64()>;

    StatsReport(const QUrl& endpoint, const ServerTimings& timings, const Clock& clock,
                QObject* parent = nullptr);
    // Drops requests in flight without a word: nobody is left to tell. What
    // is unsent stays in the file.
    ~StatsReport() override;

    // The endpoint from a master server file ("masterserver.ini"); empty when
    // the key is missing or holds no usable http(s) URL.
    static QUrl loadEndpointFile(const QString& path);
    // A bare host[:port] is taken as http; anything but http(s) gives an empty URL.
    static QUrl endpointFromText(const QString& text);

    static QUrl reportUrl(const QUrl& endpoint, const QByteArray& query);
    static QUrl reportUrl(const QUrl& endpoint, int score, int lines, const QString& playtime,
                          const QStringList& players);

    // The system's random source by default.
    void setGameIdSource(GameIdSource source) { gameIds_ = std::move(source); }

    // Sends the report of one finished game; players in slot order. The
    // replay goes along unless empty.
    void send(int score, int lines, const QString& playtime, const QStringList& players,
              const QByteArray& replay = {});

    // Keeps unsent reports in the file at path from now on and sends those it
    // holds. Problems with the file come as storageError(); the reports then
    // stay in memory.
    void keepUnsentIn(const QString& path);
    int unsent() const { return int(pending_.size()); }

Q_SIGNALS:
    void uploaded();
    void failed();
    void storageError(QString message);

private:
    struct Pending {
        QByteArray query;
        QByteArray replay;  // empty: no POST
        int attempts = 0;
        qint64 firstAttemptMs = 0;
        bool ownGame = true;        // not one an earlier run left: its players are here
        bool told = false;          // the players heard that it failed
        bool stored = false;        // the service took the GET
        bool posted = false;        // the POST was taken or refused for good
        bool postedBefore = false;  // when this attempt began: the file holds the replay
        int inFlight = 0;
        QTimer* pause = nullptr;
    };
    using Iterator = std::list<Pending>::iterator;

    void attempt(Iterator p);
    void statsFinished(QNetworkReply* reply, Iterator p, bool post);
    void finish(Iterator p);
    void save();

    QUrl endpoint_;
    ServerTimings timings_;
    const Clock& clock_;
    GameIdSource gameIds_;
    QNetworkAccessManager* http_;
    std::list<Pending> pending_;
    std::unique_ptr<StatsOutbox> outbox_;
};
