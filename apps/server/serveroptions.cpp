#include "serveroptions.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace {

// A server name travels in one datagram with the server description.
constexpr int kMaxNameLength = 64;

}  // namespace

OptionsResult parseDedicatedOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Quadrell game server without a window. The first client to join becomes host."));
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("Game port for TCP and UDP, 0 for any free one (default 27403)."),
        QStringLiteral("N"));
    const QCommandLineOption name(QStringLiteral("name"),
                                  QStringLiteral("Server name shown in server lists."),
                                  QStringLiteral("TEXT"));
    const QCommandLineOption maxPlayers(QStringLiteral("max-players"),
                                        QStringLiteral("Players allowed, 1 to 4 (default 4)."),
                                        QStringLiteral("N"));
    const QCommandLineOption password(QStringLiteral("password"),
                                      QStringLiteral("Password players must type to join."),
                                      QStringLiteral("TEXT"));
    const QCommandLineOption ranked(QStringLiteral("ranked"),
                                    QStringLiteral("Report every game to the stats endpoint."));
    const QCommandLineOption masterConfig(
        QStringLiteral("master-config"),
        QStringLiteral("Master server settings (default masterserver.ini in the working "
                       "directory)."),
        QStringLiteral("FILE"));
    const QCommandLineOption statsFile(
        QStringLiteral("stats-file"),
        QStringLiteral("On shutdown, write tick timings and bytes sent per client here (JSON)."),
        QStringLiteral("FILE"));
    const QCommandLineOption heartbeat(
        QStringLiteral("heartbeat-ms"),
        QStringLiteral("Interval of announcements to the master server (default 60000)."),
        QStringLiteral("N"));
    const QCommandLineOption openPort(
        QStringLiteral("open-port"),
        QStringLiteral("Ask the router to forward the port (UPnP IGD, PCP, NAT-PMP) and print "
                       "where players outside the local network can join."));
    const auto valued = [](const char* option, const char* help, const char* value) {
        return QCommandLineOption(QLatin1String(option), QLatin1String(help), QLatin1String(value));
    };
    const QCommandLineOption portLease = valued(
        "port-lease",
        "Lifetime asked of the router for the port, renewed at half of what it grants (default "
        "3600).",
        "SECONDS");
    const QCommandLineOption stateDir = valued(
        "state-dir",
        "Where ranked reports not yet taken by the stats service are kept (default: the working "
        "directory).",
        "DIR");
    const QCommandLineOption statsRetry =
        valued("stats-retry-ms",
               "First pause before a failed stats report is sent again, doubled each time up to 10 "
               "minutes (default 1000).",
               "N");
    parser.addOptions({port, name, maxPlayers, password, ranked, masterConfig, statsFile, heartbeat,
                       openPort, portLease, stateDir, statsRetry});
    // Computer players, seated by the server itself.
    const QCommandLineOption computers(
        QStringLiteral("computers"),
        QStringLiteral("Computer players seated from the start, 0 to one less than "
                       "--max-players (default 0). A game starts only with a person in it."),
        QStringLiteral("N"));
    parser.addOption(computers);
    // The simple policy is for tests of the rules, not a teammate: not offered.
    const QCommandLineOption computerSkill(
        QStringLiteral("computer-skill"),
        QStringLiteral("How well the computer players play: easy, normal (the default) or hard."),
        QStringLiteral("LEVEL"));
    parser.addOption(computerSkill);
    const QCommandLineOption noTakeover(
        QStringLiteral("no-takeover"),
        QStringLiteral("No computer plays on for a player who leaves a running game."));
    parser.addOption(noTakeover);
    if (const auto stop = readCommandLine(
            parser, arguments,
            {&port, &name, &maxPlayers, &password, &masterConfig, &statsFile, &heartbeat,
             &portLease, &stateDir, &statsRetry, &computers, &computerSkill})) {
        return stopped<DedicatedOptions>(*stop);
    }

    DedicatedOptions d;
    QString error;
    if (!readNumberOption(parser, port, 0, 65535, d.port, error) ||
        !readNumberOption(parser, heartbeat, 100, 3600000, d.heartbeatMs, error) ||
        !readNumberOption(parser, maxPlayers, 1, 4, d.maxPlayers, error) ||
        !readNumberOption(parser, portLease, 2, 86400, d.portLeaseSeconds, error) ||
        !readNumberOption(parser, statsRetry, 10, 600000, d.statsRetryMs, error) ||
        !readNumberOption(parser, computers, 0, d.maxPlayers - 1, d.computers, error)) {
        return OptionsResult::failure(error);
    }
    if (parser.isSet(computerSkill)) {
        const auto skill = skillFromName(parser.value(computerSkill));
        if (!skill || *skill == ComputerSkill::Simple) {
            return OptionsResult::failure(
                QStringLiteral("'--computer-skill' is easy, normal or hard."));
        }
        d.computerSkill = *skill;
    }
    d.computerTakeover = !parser.isSet(noTakeover);
    if (parser.isSet(name)) {
        // Clients check the description's digest over the name with single
        // spaces between its words, so the name is given that shape.
        const QString text = parser.value(name).simplified();
        for (const QChar c : text) {
            if (c.category() == QChar::Other_Control) {
                return OptionsResult::failure(
                    QStringLiteral("'--name' must not contain control characters."));
            }
        }
        if (text.isEmpty() || text.size() > kMaxNameLength) {
            return OptionsResult::failure(
                QStringLiteral("'--name' needs 1 to %1 characters.").arg(kMaxNameLength));
        }
        d.name = text;
    }
    if (parser.isSet(password)) {
        if (parser.value(password).isEmpty()) {
            return OptionsResult::failure(QStringLiteral("'--password' needs a text."));
        }
        d.usePassword = true;
        d.password = QLatin1Char(Quadrell::kPasswordMarker) + parser.value(password);
    }
    d.ranked = parser.isSet(ranked);
    d.openPort = parser.isSet(openPort);
    if (parser.isSet(stateDir)) {
        d.stateDir = parser.value(stateDir);
        if (!QFileInfo(d.stateDir).isDir()) {
            return OptionsResult::failure(
                QStringLiteral("'--state-dir' needs a directory, not '%1'.").arg(d.stateDir));
        }
    }
    if (!readMasterConfigOption(parser, masterConfig, d.masterConfig, error) ||
        !readFileOption(parser, statsFile, d.statsFile, error)) {
        return OptionsResult::failure(error);
    }
    return OptionsResult::run(d);
}
