#pragma once

#include <QHostAddress>
#include <QHttpServer>
#include <QObject>

#include "stats/reportintake.h"
#include "stats/statsstore.h"

class QTcpServer;

// The HTTP side of the stats service: "/stats-report.php" takes a game
// server's report and answers "true" once it is stored, as a GET or as a
// POST whose body is the game's replay, which must prove it; "/" is the
// leaderboard page, "/leaderboard.json" the same as data and "/replay/ID"
// the replay of a verified game.
class StatsHttpService : public QObject {
    Q_OBJECT

public:
    StatsHttpService(StatsStore& store, const ReportIntake::Limits& limits,
                     ReplayBudget budget = {}, QObject* parent = nullptr);
    ~StatsHttpService() override;

    // False with errorString() when the address cannot be bound.
    bool listen(const QHostAddress& address, int port);
    int port() const;
    QString errorString() const { return error_; }

Q_SIGNALS:
    // One line per report for the operator's log.
    void logLine(const QString& line);

private:
    QHttpServerResponse processReport(const QHttpServerRequest& request, bool withReplay);
    QHttpServerResponse processReplay(qint64 gameId);
    QHttpServerResponse processLeaderboard(bool asJson);

    StatsStore& store_;
    ReportIntake intake_;
    QHttpServer http_;
    QTcpServer* tcp_ = nullptr;
    QString error_;
};
