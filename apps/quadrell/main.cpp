// quadrell: the game.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QLocale>
#include <QTranslator>
#include <cstdio>

#include "apps/common/threadhosting.h"
#include "client/client.h"
#include "commandline.h"
#include "display/displaycheck.h"
#include "game/appinfo.h"
#include "game/randomsource.h"
#include "shell/mainwindow.h"
#include "shell/translation.h"
#include "terminationsignals.h"

namespace {

struct GameOptions {
    bool windowed = false;
    bool version = false;
};

CommandLineResult<GameOptions> parseGameOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Quadrell, a cooperative falling-block game for up to four players."));
    const QCommandLineOption windowed(QStringLiteral("windowed"),
                                      QStringLiteral("Starts in a window instead of full screen "
                                                     "(Alt+Enter switches while playing)."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Shows the version."));
    parser.addOptions({windowed, version});
    if (const auto stop = readCommandLine(parser, arguments, {})) {
        return stopped<GameOptions>(*stop);
    }
    return CommandLineResult<GameOptions>::run({parser.isSet(windowed), parser.isSet(version)});
}

}  // namespace

int main(int argc, char* argv[]) {
    // Starting up takes a while; a SIGTERM meanwhile ends the game in order.
    TerminationSignals::holdUntilHandled();
    // Options and the display are checked before the GUI application exists:
    // --help needs no window, and Qt ends the process when there is no display.
    const auto parsed = [&] {
        QCoreApplication options(argc, argv);
        return parseGameOptions(QCoreApplication::arguments());
    }();
    if (parsed.outcome != CommandLineOutcome::Run) {
        return finishCommandLine("quadrell", parsed.outcome, parsed.text);
    }
    if (parsed.options.version) {
        std::printf("%s %s\n", Quadrell::kApplicationName, Quadrell::kVersion);
        return 0;
    }
    if (const QString problem = displayProblem(argc, argv); !problem.isEmpty()) {
        std::fprintf(stderr, "quadrell: %s\n", qPrintable(problem));
        return 1;
    }

    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Quadrell"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("quadrell.invalid"));
    QCoreApplication::setApplicationName(QLatin1String(Quadrell::kApplicationName));
    QCoreApplication::setApplicationVersion(QLatin1String(Quadrell::kVersion));
    RandomSource::forThisThread().seed(RandomSource::secondsSinceMidnight());

    QTranslator translator;
    if (loadTranslation(translator, QLocale::system(), QDir::currentPath())) {
        QCoreApplication::installTranslator(&translator);
    }

    // The game hosts in a thread of its own, listening on every interface.
    Client client({}, {}, threadServerStarter({}));
    MainWindowEnvironment environment;
    environment.startWindowed = parsed.options.windowed;
    MainWindow window(&client, std::move(environment));

    // SIGINT and SIGTERM leave the game the way closing the window does.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &client,
                     &Client::endProgramm);
    return app.exec();
}
