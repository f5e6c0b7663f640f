#include "serveroptions.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace {

// A server name travels in one datagram with the server description.
constexpr int kMaxNameLength = 64;

// An option of ASCII text; without a value name it is a flag.
QCommandLineOption option(const char* name, const char* help, const char* value = "") {
    return QCommandLineOption(QLatin1String(name), QLatin1String(help), QLatin1String(value));
}

// What the dedicated server's command line may hold, in the order the help
// lists it.
struct ServerCommandLine {
    const QCommandLineOption port =
        option("port", "Game port for TCP and UDP, 0 for any free one (default 27403).", "N");
    const QCommandLineOption name = option("name", "Server name shown in server lists.", "TEXT");
    const QCommandLineOption maxPlayers =
        option("max-players", "Players allowed, 1 to 4 (default 4).", "N");
    const QCommandLineOption password =
        option("password", "Password players must type to join.", "TEXT");
    const QCommandLineOption ranked = option("ranked", "Report every game to the stats endpoint.");
    const QCommandLineOption masterConfig = option(
        "master-config",
        "Master server settings (default masterserver.ini in the working directory).", "FILE");
    const QCommandLineOption statsFile =
        option("stats-file",
               "On shutdown, write tick timings and bytes sent per client here (JSON).", "FILE");
    const QCommandLineOption heartbeat = option(
        "heartbeat-ms", "Interval of announcements to the master server (default 60000).", "N");
    const QCommandLineOption openPort =
        option("open-port",
               "Ask the router to forward the port (UPnP IGD, PCP, NAT-PMP) and print where "
               "players outside the local network can join.");
    const QCommandLineOption portLease =
        option("port-lease",
               "Lifetime asked of the router for the port, renewed at half of what it grants "
               "(default 3600).",
               "SECONDS");
    const QCommandLineOption stateDir =
        option("state-dir",
               "Where ranked reports not yet taken by the stats service are kept (default: the "
               "working directory).",
               "DIR");
    const QCommandLineOption statsRetry =
        option("stats-retry-ms",
               "First pause before a failed stats report is sent again, doubled each time up to "
               "10 minutes (default 1000).",
               "N");
    // Computer players, seated by the server itself.
    const QCommandLineOption computers =
        option("computers",
               "Computer players seated from the start, 0 to one less than --max-players "
               "(default 0). A game starts only with a person in it.",
               "N");
    // The simple policy is for tests of the rules, not a teammate: not offered.
    const QCommandLineOption computerSkill =
        option("computer-skill",
               "How well the computer players play: easy, normal (the default) or hard.", "LEVEL");
    const QCommandLineOption noTakeover =
        option("no-takeover", "No computer plays on for a player who leaves a running game.");
    const QCommandLineOption inviteOnly =
        option("invite-only",
               "Not on the master server's public list: players join with the invite code "
               "it gives, which is printed.");
};

bool readNumbers(const QCommandLineParser& parser, const ServerCommandLine& o, DedicatedOptions& d,
                 QString& error) {
    return readNumberOption(parser, o.port, 0, 65535, d.port, error) &&
           readNumberOption(parser, o.heartbeat, 100, 3600000, d.heartbeatMs, error) &&
           readNumberOption(parser, o.maxPlayers, 1, 4, d.maxPlayers, error) &&
           readNumberOption(parser, o.portLease, 2, 86400, d.portLeaseSeconds, error) &&
           readNumberOption(parser, o.statsRetry, 10, 600000, d.statsRetryMs, error) &&
           readNumberOption(parser, o.computers, 0, d.maxPlayers - 1, d.computers, error);
}

bool readComputers(const QCommandLineParser& parser, const ServerCommandLine& o,
                   DedicatedOptions& d, QString& error) {
    if (parser.isSet(o.computerSkill)) {
        const auto skill = skillFromName(parser.value(o.computerSkill));
        if (!skill || *skill == ComputerSkill::Simple) {
            error = QStringLiteral("'--computer-skill' is easy, normal or hard.");
            return false;
        }
        d.computerSkill = *skill;
    }
    d.computerTakeover = !parser.isSet(o.noTakeover);
    return true;
}

// What players see of the server and must type to join it.
bool readNameAndPassword(const QCommandLineParser& parser, const ServerCommandLine& o,
                         DedicatedOptions& d, QString& error) {
    if (parser.isSet(o.name)) {
        // Clients check the description's digest over the name with single
        // spaces between its words, so the name is given that shape.
        const QString text = parser.value(o.name).simplified();
        for (const QChar c : text) {
            if (c.category() == QChar::Other_Control) {
                error = QStringLiteral("'--name' must not contain control characters.");
                return false;
            }
        }
        if (text.isEmpty() || text.size() > kMaxNameLength) {
            error = QStringLiteral("'--name' needs 1 to %1 characters.").arg(kMaxNameLength);
            return false;
        }
        d.name = text;
    }
    if (parser.isSet(o.password)) {
        if (parser.value(o.password).isEmpty()) {
            error = QStringLiteral("'--password' needs a text.");
            return false;
        }
        d.usePassword = true;
        d.password = QLatin1Char(Quadrell::kPasswordMarker) + parser.value(o.password);
    }
    return true;
}

// The flags, and the files and directory the server reads and writes.
bool readReportsAndFiles(const QCommandLineParser& parser, const ServerCommandLine& o,
                         DedicatedOptions& d, QString& error) {
    d.ranked = parser.isSet(o.ranked);
    d.openPort = parser.isSet(o.openPort);
    d.listed = !parser.isSet(o.inviteOnly);
    if (parser.isSet(o.stateDir)) {
        d.stateDir = parser.value(o.stateDir);
        if (!QFileInfo(d.stateDir).isDir()) {
            error = QStringLiteral("'--state-dir' needs a directory, not '%1'.").arg(d.stateDir);
            return false;
        }
    }
    return readMasterConfigOption(parser, o.masterConfig, d.masterConfig, error) &&
           readFileOption(parser, o.statsFile, d.statsFile, error);
}

}  // namespace

OptionsResult parseDedicatedOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Quadrell game server without a window. The first client to join becomes host."));
    const ServerCommandLine o;
    parser.addOptions({o.port, o.name, o.maxPlayers, o.password, o.ranked, o.masterConfig,
                       o.statsFile, o.heartbeat, o.openPort, o.portLease, o.stateDir, o.statsRetry,
                       o.computers, o.computerSkill, o.noTakeover, o.inviteOnly});
    if (const auto stop =
            readCommandLine(parser, arguments,
                            {&o.port, &o.name, &o.maxPlayers, &o.password, &o.masterConfig,
                             &o.statsFile, &o.heartbeat, &o.portLease, &o.stateDir, &o.statsRetry,
                             &o.computers, &o.computerSkill})) {
        return stopped<DedicatedOptions>(*stop);
    }

    DedicatedOptions d;
    QString error;
    if (!readNumbers(parser, o, d, error) || !readComputers(parser, o, d, error) ||
        !readNameAndPassword(parser, o, d, error) || !readReportsAndFiles(parser, o, d, error)) {
        return OptionsResult::failure(error);
    }
    return OptionsResult::run(d);
}
