#include "botoptions.h"

#include <QCommandLineParser>
#include <QHostAddress>

#include "game/appinfo.h"
#include "network/invitecode.h"
#include "network/joinaddress.h"

namespace {

// An option of ASCII text; without a value name it is a flag.
QCommandLineOption option(const char* name, const char* help, const char* value = "") {
    return QCommandLineOption(QLatin1String(name), QLatin1String(help), QLatin1String(value));
}

// An option that only --list reads.
QCommandLineOption forList(const char* name, const char* text, const char* value = "") {
    return QCommandLineOption(QLatin1String(name),
                              QStringLiteral("With --list: ") + QLatin1String(text),
                              QLatin1String(value));
}

// What the bot's command line may hold: how it plays, and how it lists.
struct BotCommandLine {
    const QCommandLineOption connect =
        option("connect",
               "Game server to join: an address or a host name with its port, or an invite "
               "code (XXXX-XXXX, looked up at the master server of --master-config).",
               "HOST:PORT|CODE");
    const QCommandLineOption name = option("name", "Player name (default Bot).", "NAME");
    const QCommandLineOption password =
        option("password", "Password as a player would type it.", "TEXT");
    const QCommandLineOption games =
        option("games", "Games to play before leaving (default 1).", "N");
    const QCommandLineOption seed =
        option("seed",
               "Seed of the bot's own choices: now and then it drops a piece somewhere else than "
               "its policy says (default 1).",
               "N");
    const QCommandLineOption columns =
        option("columns",
               "Columns of its 12-column part it fills, 1 to 12 (default 12); a few columns fill "
               "up fast and end games early.",
               "N");
    const QCommandLineOption waitPlayers =
        option("wait-players",
               "Gets ready only once this many players, 1 to 4, are in the lobby (default 1), so "
               "that several bots start their games together.",
               "N");
    const QCommandLineOption loss =
        option("loss",
               "Loses this share of the game's datagrams each way, 0 to 100 (default 0), to play "
               "through a lossy network.",
               "PERCENT");
    const QCommandLineOption latency =
        option("latency",
               "Adds MS milliseconds to the round trip of the game's datagrams, half each way, "
               "each datagram's delay off by up to JITTER (at most MS) in all, drawn from --seed "
               "(default 0): plays a slow network on one machine.",
               "MS[,JITTER]");
    const QCommandLineOption skill =
        option("skill",
               "simple (default), easy, normal or hard: the simple policy, or the planning player "
               "at one of three speeds.",
               "LEVEL");
    const QCommandLineOption reconnect =
        option("reconnect",
               "Keeps the bot's seat in FILE: started again with a FILE whose game still keeps "
               "the seat (up to 60 s after the drop), it goes back into that game instead of "
               "joining afresh.",
               "FILE");
    const QCommandLineOption statsFile =
        option("stats-file",
               "On the way out, writes games played and the input-to-echo latency as JSON to "
               "FILE.",
               "FILE");
    const QCommandLineOption predict =
        option("predict",
               "Moves its own block on its copy of the field at the press, as the game does, and "
               "counts the places the server corrected (printed at the end, and in the stats "
               "file).");

    const QCommandLineOption list =
        option("list",
               "Print the servers of the master server and of the local networks, one line each "
               "(name, address:port, players, ping, version, marks), and exit.");
    const QCommandLineOption json = forList("json", "print a JSON array instead.");
    const QCommandLineOption wait =
        forList("wait", "milliseconds to wait for answers (default 2000).", "MS");
    const QCommandLineOption masterConfig =
        forList("master-config",
                "master server settings (default masterserver.ini in the working directory; "
                "without it only the local networks are asked); also where --connect looks "
                "an invite code up.",
                "FILE");
    const QCommandLineOption lanTo =
        forList("lan-address",
                "ask the local network at this broadcast address instead of every interface's "
                "(may be given more than once).",
                "ADDRESS");
    const QCommandLineOption lanPort =
        forList("lan-port",
                "ask the local networks at this port (default 27402 and 27403; may be given "
                "more than once).",
                "PORT");
};

BotOptionsResult readListOptions(const QCommandLineParser& parser, const BotCommandLine& o,
                                 BotOptions b) {
    QString error;
    if (!readNumberOption(parser, o.wait, 0, 600000, b.waitMs, error) ||
        !readMasterConfigOption(parser, o.masterConfig, b.masterConfig, error)) {
        return BotOptionsResult::failure(error);
    }
    for (const QString& text : parser.values(o.lanTo)) {
        const QHostAddress address(text);
        if (address.protocol() != QAbstractSocket::IPv4Protocol) {
            return BotOptionsResult::failure(
                QStringLiteral("'--lan-address' needs an IPv4 address, not '%1'.").arg(text));
        }
        b.lanTo.append(address);
    }
    for (const QString& text : parser.values(o.lanPort)) {
        const auto port = readInteger(text, 1, 65535);
        if (!port) {
            return BotOptionsResult::failure(
                QStringLiteral("'--lan-port' needs a number from 1 to 65535, not '%1'.").arg(text));
        }
        b.lanPorts.append(int(*port));
    }
    return BotOptionsResult::run(b);
}

// The game server to join: required, a host and a port.
bool readServer(const QCommandLineParser& parser, const BotCommandLine& o, BotOptions& b,
                QString& error) {
    if (!parser.isSet(o.connect)) {
        error = QStringLiteral("'--connect HOST:PORT' (or an invite code) is required.");
        return false;
    }
    b.address = parser.value(o.connect);
    if (InviteCode::fromJoinText(b.address)) {
        return readMasterConfigOption(parser, o.masterConfig, b.masterConfig, error);
    }
    const JoinAddress join = JoinAddress::parse(b.address, 0);
    if (join.host.isEmpty() || join.port == 0) {
        error = QStringLiteral(
                    "'--connect' needs an address or a host name and a port, as in "
                    "127.0.0.1:27403 or [2001:db8::5]:27403, not '%1'.")
                    .arg(b.address);
        return false;
    }
    return true;
}

// Who the bot is in the game and how it plays: name, password, skill,
// prediction and the network it plays through.
bool readPlayer(const QCommandLineParser& parser, const BotCommandLine& o, BotOptions& b,
                QString& error) {
    if (parser.isSet(o.name)) {
        b.name = parser.value(o.name);
        if (b.name.trimmed().isEmpty()) {
            error = QStringLiteral("'--name' needs a name.");
            return false;
        }
    }
    if (parser.isSet(o.password)) {
        if (parser.value(o.password).isEmpty()) {
            error = QStringLiteral("'--password' needs a text.");
            return false;
        }
        b.password = QLatin1Char(Quadrell::kPasswordMarker) + parser.value(o.password);
    }
    if (parser.isSet(o.skill)) {
        const std::optional<ComputerSkill> level = skillFromName(parser.value(o.skill));
        if (!level) {
            error = QStringLiteral("'--skill' takes simple, easy, normal or hard, not '%1'.")
                        .arg(parser.value(o.skill));
            return false;
        }
        b.skill = *level;
    }
    b.predict = parser.isSet(o.predict);
    if (parser.isSet(o.latency)) {
        const std::optional<Latency> value = Latency::fromText(parser.value(o.latency));
        if (!value) {
            error = QStringLiteral("'--latency' needs %1, not '%2'.")
                        .arg(Latency::expected(), parser.value(o.latency));
            return false;
        }
        b.latency = *value;
    }
    return true;
}

bool readNumbers(const QCommandLineParser& parser, const BotCommandLine& o, BotOptions& b,
                 QString& error) {
    return readNumberOption(parser, o.games, 1, 1000000, b.games, error) &&
           readNumberOption(parser, o.seed, 0, 0xffffffffLL, b.seed, error) &&
           readNumberOption(parser, o.columns, 1, GameField::kColumnsPerPlayer, b.columns, error) &&
           readNumberOption(parser, o.waitPlayers, 1, 4, b.waitPlayers, error) &&
           readNumberOption(parser, o.loss, 0, 100, b.lossPercent, error) &&
           readFileOption(parser, o.statsFile, b.statsFile, error) &&
           readFileOption(parser, o.reconnect, b.seatFile, error);
}

}  // namespace

BotOptionsResult parseBotOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Quadrell player without a window: joins a game server, plays its part "
                       "of the ring with a simple policy and prints one line per game; or, "
                       "with --list, prints the servers the game's server list shows."));
    const BotCommandLine o;
    parser.addOptions({o.connect, o.name, o.password, o.games, o.seed, o.columns, o.waitPlayers,
                       o.loss, o.latency, o.skill, o.statsFile, o.reconnect, o.predict, o.list,
                       o.json, o.wait, o.masterConfig, o.lanTo, o.lanPort});
    if (const auto stop =
            readCommandLine(parser, arguments,
                            {&o.connect, &o.name, &o.password, &o.games, &o.seed, &o.columns,
                             &o.waitPlayers, &o.loss, &o.latency, &o.skill, &o.statsFile,
                             &o.reconnect, &o.wait, &o.masterConfig})) {
        return stopped<BotOptions>(*stop);
    }

    BotOptions b;
    b.list = parser.isSet(o.list);
    b.json = parser.isSet(o.json);
    if (b.json && !b.list) {
        return BotOptionsResult::failure(QStringLiteral("'--json' goes with '--list'."));
    }
    if (b.list) {
        return readListOptions(parser, o, b);
    }
    QString error;
    if (!readServer(parser, o, b, error) || !readPlayer(parser, o, b, error) ||
        !readNumbers(parser, o, b, error)) {
        return BotOptionsResult::failure(error);
    }
    return BotOptionsResult::run(b);
}
