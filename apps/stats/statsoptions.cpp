#include "statsoptions.h"

#include <QCommandLineParser>

StatsOptionsResult parseStatsOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Quadrell stats service: takes the reports of ranked game servers and "
                       "shows the leaderboard."));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("HTTP port, 0 for any free one (default 27405)."),
                                  QStringLiteral("N"));
    const QCommandLineOption bind(QStringLiteral("bind"),
                                  QStringLiteral("Local address to listen on (default all)."),
                                  QStringLiteral("ADDRESS"));
    const QCommandLineOption database(
        QStringLiteral("database"),
        QStringLiteral("SQLite file (default stats.sqlite in the working directory) or "
                       "postgresql://user@host[:port]/database."),
        QStringLiteral("FILE|URL"));
    const QCommandLineOption rate(
        QStringLiteral("rate-limit"),
        QStringLiteral("Reports a minute taken from one address, in a burst of as many "
                       "(default 60)."),
        QStringLiteral("N"));
    parser.addOptions({port, bind, database, rate});
    if (const auto stop = readCommandLine(parser, arguments, {&port, &bind, &database, &rate})) {
        return stopped<StatsOptions>(*stop);
    }

    StatsOptions o;
    QString error;
    if (!readNumberOption(parser, port, 0, 65535, o.port, error) ||
        !readNumberOption(parser, rate, 1, 6000000, o.rateLimit, error)) {
        return StatsOptionsResult::failure(error);
    }
    if (parser.isSet(bind)) {
        o.bind = QHostAddress(parser.value(bind));
        if (o.bind.isNull()) {
            return StatsOptionsResult::failure(
                QStringLiteral("'--bind' needs a numeric address, not '%1'.")
                    .arg(parser.value(bind)));
        }
    }
    if (parser.isSet(database) && parser.value(database).isEmpty()) {
        return StatsOptionsResult::failure(
            QStringLiteral("'--database' needs a file name or a URL."));
    }
    const auto location = StoreLocation::parse(parser.value(database), error);
    if (!location) {
        return StatsOptionsResult::failure(error);
    }
    o.database = *location;
    return StatsOptionsResult::run(o);
}
