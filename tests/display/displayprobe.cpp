// Switches to WIDTHxHEIGHT as the game does; ends in order on SIGTERM, SIGINT, EOF.
#include <unistd.h>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <cstdio>

#include "display/displaymodebackends.h"
#include "display/displaymodeswitcher.h"
#include "terminationsignals.h"

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4) {
        return 2;
    }
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &app,
                     &QCoreApplication::quit);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char byte;
        if (::read(STDIN_FILENO, &byte, 1) <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
        }
    });

    const QString guard = args[1] == QLatin1String("-") ? QStringLiteral("/nonexistent") : args[1];
    DisplayModeSwitcher switcher(createDisplayModeBackend(), guard);
    if (!switcher.changeDisplayMode(args[2].toInt(), args[3].toInt())) {
        std::puts("refused");
        return 3;
    }
    std::puts("switched");
    std::fflush(stdout);
    return app.exec();
}
