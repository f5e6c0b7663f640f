// quadrell-server: the game server without a window, for LAN parties and tests.
#include <QCoreApplication>
#include <cstdio>

#include "apps/server/dedicatedserver.h"
#include "apps/server/serveroptions.h"
#include "game/appinfo.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quadrell-server"));
    QCoreApplication::setApplicationVersion(QLatin1String(Quadrell::kVersion));

    const OptionsResult parsed = parseDedicatedOptions(QCoreApplication::arguments());
    if (parsed.outcome != CommandLineOutcome::Run) {
        return finishCommandLine("quadrell-server", parsed.outcome, parsed.text);
    }

    DedicatedServer server(parsed.options);
    if (!server.start()) {
        std::fprintf(stderr, "quadrell-server: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    if (!server.catchSignals()) {
        std::fprintf(stderr, "quadrell-server: cannot catch SIGINT and SIGTERM\n");
        return 1;
    }
    QObject::connect(&server, &DedicatedServer::finished, &app, &QCoreApplication::exit,
                     Qt::QueuedConnection);
    std::printf("quadrell-server listening on port %d\n", server.port());
    std::fflush(stdout);
    QObject::connect(&server, &DedicatedServer::reachability, [](const QString& line) {
        std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
    });
    return app.exec();
}
