// quadrell-stats: takes the reports of ranked game servers and shows the leaderboard.
#include <QCoreApplication>
#include <QDateTime>
#include <cstdio>

#include "apps/common/terminationsignals.h"
#include "statshttpservice.h"
#include "statsoptions.h"

namespace {

void printLogLine(const QString& line) {
    std::printf("%s %s\n", qPrintable(QDateTime::currentDateTime().toString(Qt::ISODate)),
                qPrintable(line));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quadrell-stats"));

    const StatsOptionsResult parsed = parseStatsOptions(QCoreApplication::arguments());
    if (parsed.outcome != CommandLineOutcome::Run) {
        return finishCommandLine("quadrell-stats", parsed.outcome, parsed.text);
    }
    const StatsOptions& o = parsed.options;

    StatsStore store(o.database);
    if (!store.open()) {
        std::fprintf(stderr, "quadrell-stats: cannot use the %s: %s\n",
                     qPrintable(o.database.describe()), qPrintable(store.error()));
        return 1;
    }
    ReportIntake::Limits limits;
    limits.burst = o.rateLimit;
    limits.refillMs = std::max(1, 60000 / o.rateLimit);
    StatsHttpService service(store, limits);
    QObject::connect(&service, &StatsHttpService::logLine, &printLogLine);
    if (!service.listen(o.bind, o.port)) {
        std::fprintf(stderr, "quadrell-stats: cannot listen on %s port %d: %s\n",
                     qPrintable(o.bind.toString()), o.port, qPrintable(service.errorString()));
        return 1;
    }
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &app, [](int) {
        printLogLine(QStringLiteral("shutting down"));
        QCoreApplication::quit();
    });
    printLogLine(QStringLiteral("listening on %1 port %2, games in the %3")
                     .arg(o.bind.toString())
                     .arg(service.port())
                     .arg(o.database.describe()));
    return app.exec();
}
