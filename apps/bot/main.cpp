// quadrell-bot: a player without a window, for tests, soak runs and benchmarks.
#include <QCoreApplication>
#include <cstdio>

#include "apps/bot/bot.h"
#include "apps/bot/serverlister.h"
#include "game/appinfo.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quadrell-bot"));
    QCoreApplication::setApplicationVersion(QLatin1String(Quadrell::kVersion));

    const BotOptionsResult parsed = parseBotOptions(QCoreApplication::arguments());
    if (parsed.outcome != CommandLineOutcome::Run) {
        return finishCommandLine("quadrell-bot", parsed.outcome, parsed.text);
    }

    if (parsed.options.list) {
        ServerLister lister(parsed.options);
        QObject::connect(
            &lister, &ServerLister::finished, &app,
            [](const QString& text) {
                std::fputs(text.toUtf8().constData(), stdout);
                std::fflush(stdout);
                QCoreApplication::exit(0);
            },
            Qt::QueuedConnection);
        lister.start();
        return app.exec();
    }

    Bot bot(parsed.options);
    QObject::connect(&bot, &Bot::gameFinished,
                     [](int game, int score, int lines, const QString& playtime) {
                         std::printf("game %d: score %d, lines %d, playtime %s\n", game, score,
                                     lines, qPrintable(playtime));
                         std::fflush(stdout);
                     });
    QObject::connect(&bot, &Bot::reachability, [](const QString& line) {
        std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
    });
    QObject::connect(&bot, &Bot::statsNotice, [](const QString& message) {
        std::printf("stats: %s\n", qPrintable(message));
        std::fflush(stdout);
    });
    QObject::connect(
        &bot, &Bot::finished, &app,
        [&bot, predict = parsed.options.predict](int exitCode, const QString& error) {
            if (predict) {
                std::printf("%s\n", qPrintable(bot.predictionSummary()));
                std::fflush(stdout);
            }
            if (!error.isEmpty()) {
                std::fprintf(stderr, "quadrell-bot: %s\n", qPrintable(error));
            }
            QCoreApplication::exit(exitCode);
        },
        Qt::QueuedConnection);
    bot.start();
    return app.exec();
}
