// quadrell: the game.
#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QTranslator>
#include <cstdio>

#include "apps/common/threadhosting.h"
#include "client/client.h"
#include "display/displaycheck.h"
#include "game/appinfo.h"
#include "game/randomsource.h"
#include "gameoptions.h"
#include "network/invitecode.h"
#include "shell/mainwindow.h"
#include "shell/translation.h"
#include "shell/userfolders.h"
#include "terminationsignals.h"

int main(int argc, char* argv[]) {
    // Starting up takes a while; a SIGTERM meanwhile ends the game in order.
    TerminationSignals::holdUntilHandled();
    // Options and the display are checked before the GUI application exists:
    // --help needs no window, and Qt ends the process when there is no display.
    const auto parsed = [&] {
        QCoreApplication options(argc, argv);
        return parseGameOptions(QCoreApplication::arguments(),
                                qEnvironmentVariable(kDataDirVariable),
                                qEnvironmentVariable(kLatencyVariable));
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

    const UserFolderResolver::Result files =
        UserFolderResolver(FolderEnvironment::fromSystem(parsed.options.dataDirectory)).resolve();
    if (!files.error.isEmpty()) {
        std::fprintf(stderr, "quadrell: %s (--data-dir DIR names another folder)\n",
                     qPrintable(files.error));
        return 1;
    }
    if (!files.notice.isEmpty()) {
        std::fprintf(stderr, "quadrell: %s\n", qPrintable(files.notice));
    }

    QTranslator translator;
    if (loadTranslation(translator, QLocale::system(), files.folders.translations)) {
        QCoreApplication::installTranslator(&translator);
    }

    Client::Environment clientEnvironment;
    clientEnvironment.directory = files.folders.settings;
    clientEnvironment.highscoreDirectory = files.folders.highscores;
    // The game hosts in a thread of its own, listening on every interface; its
    // server reads the same masterserver.ini as the client.
    ThreadHosting hosting;
    hosting.directory = files.folders.settings;
    hosting.replayFolder = QDir(files.folders.highscores).filePath(QStringLiteral("replays"));
    ClientNetwork network;
    network.latency = parsed.options.latency;
    Client client(std::move(clientEnvironment), network, threadServerStarter(hosting));
    MainWindowEnvironment environment;
    environment.startWindowed = parsed.options.windowed;
    environment.gui.pacedFrames = !parsed.options.flatOut;
    environment.gui.screenshotDirectory = files.folders.pictures;
    MainWindow window(&client, std::move(environment));
    if (!parsed.options.joinCode.isEmpty()) {
        window.glWidget()->controller().menus().joinDirect(
            InviteCode::display(parsed.options.joinCode));
    } else {
        // Ended in the middle of a game: its server may still keep the seat.
        client.resumeSeat();
    }
    if (const QString notice = UserFolderResolver::playerNotice(files); !notice.isEmpty()) {
        // The game's notice over the main menu, gone after a few seconds.
        window.glWidget()->controller().session().stack().displayError(notice, false);
    }

    // SIGINT and SIGTERM leave the game the way closing the window does.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &client,
                     &Client::endProgramm);
    return app.exec();
}
