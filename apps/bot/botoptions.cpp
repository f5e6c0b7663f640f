#include "botoptions.h"

#include <QCommandLineParser>
#include <QHostAddress>

#include "game/appinfo.h"

namespace {

BotOptionsResult readListOptions(const QCommandLineParser& parser, const QCommandLineOption& wait,
                                 const QCommandLineOption& masterConfig,
                                 const QCommandLineOption& lanTo, const QCommandLineOption& lanPort,
                                 BotOptions b) {
    QString error;
    if (!readNumberOption(parser, wait, 0, 600000, b.waitMs, error) ||
        !readMasterConfigOption(parser, masterConfig, b.masterConfig, error)) {
        return BotOptionsResult::failure(error);
    }
    for (const QString& text : parser.values(lanTo)) {
        const QHostAddress address(text);
        if (address.protocol() != QAbstractSocket::IPv4Protocol) {
            return BotOptionsResult::failure(
                QStringLiteral("'--lan-address' needs an IPv4 address, not '%1'.").arg(text));
        }
        b.lanTo.append(address);
    }
    for (const QString& text : parser.values(lanPort)) {
        const auto port = readInteger(text, 1, 65535);
        if (!port) {
            return BotOptionsResult::failure(
                QStringLiteral("'--lan-port' needs a number from 1 to 65535, not '%1'.").arg(text));
        }
        b.lanPorts.append(int(*port));
    }
    return BotOptionsResult::run(b);
}

}  // namespace

BotOptionsResult parseBotOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Quadrell player without a window: joins a game server, plays its part "
                       "of the ring with a simple policy and prints one line per game; or, "
                       "with --list, prints the servers the game's server list shows."));
    const QCommandLineOption connect(QStringLiteral("connect"),
                                     QStringLiteral("Game server to join (address or name)."),
                                     QStringLiteral("HOST:PORT"));
    const QCommandLineOption list(
        QStringLiteral("list"),
        QStringLiteral("Print the servers of the master server and of the local networks, one "
                       "line each (name, address:port, players, ping, version, marks), and "
                       "exit."));
    // The options that only --list reads.
    const auto forList = [](const char* name, const char* text, const char* value = nullptr) {
        const QString help = QStringLiteral("With --list: ") + QLatin1String(text);
        return value == nullptr
                   ? QCommandLineOption(QLatin1String(name), help)
                   : QCommandLineOption(QLatin1String(name), help, QLatin1String(value));
    };
    const QCommandLineOption json = forList("json", "print a JSON array instead.");
    const QCommandLineOption wait =
        forList("wait", "milliseconds to wait for answers (default 2000).", "MS");
    const QCommandLineOption masterConfig =
        forList("master-config",
                "master server settings (default masterserver.ini in the working directory; "
                "without it only the local networks are asked).",
                "FILE");
    const QCommandLineOption lanTo =
        forList("lan-address",
                "ask the local network at this broadcast address instead of every interface's "
                "(may be given more than once).",
                "ADDRESS");
    const QCommandLineOption lanPort =
        forList("lan-port",
                "ask the local networks at this port (default 27403; may be given more than "
                "once).",
                "PORT");
    const QCommandLineOption name(QStringLiteral("name"),
                                  QStringLiteral("Player name (default Bot)."),
                                  QStringLiteral("NAME"));
    const QCommandLineOption password(QStringLiteral("password"),
                                      QStringLiteral("Password as a player would type it."),
                                      QStringLiteral("TEXT"));
    const QCommandLineOption games(QStringLiteral("games"),
                                   QStringLiteral("Games to play before leaving (default 1)."),
                                   QStringLiteral("N"));
    const QCommandLineOption seed(
        QStringLiteral("seed"),
        QStringLiteral("Seed of the bot's own choices: now and then it drops a piece somewhere "
                       "else than its policy says (default 1)."),
        QStringLiteral("N"));
    const QCommandLineOption columns(
        QStringLiteral("columns"),
        QStringLiteral("Columns of its 12-column part it fills, 1 to 12 (default 12); a few "
                       "columns fill up fast and end games early."),
        QStringLiteral("N"));
    const QCommandLineOption waitPlayers(
        QStringLiteral("wait-players"),
        QStringLiteral("Gets ready only once this many players, 1 to 4, are in the lobby "
                       "(default 1), so that several bots start their games together."),
        QStringLiteral("N"));
    const QCommandLineOption loss(
        QStringLiteral("loss"),
        QStringLiteral("Loses this share of the game's datagrams each way, 0 to 100 (default 0), "
                       "to play through a lossy network."),
        QStringLiteral("PERCENT"));
    const QCommandLineOption latency(
        QStringLiteral("latency"),
        QStringLiteral("Adds MS milliseconds to the round trip of the game's datagrams, half "
                       "each way, each datagram's delay off by up to JITTER (at most MS) in "
                       "all, drawn from --seed (default 0): plays a slow network on one "
                       "machine."),
        QStringLiteral("MS[,JITTER]"));
    const QCommandLineOption skill(
        QStringLiteral("skill"),
        QStringLiteral("simple (default), easy, normal or hard: the simple policy, or the "
                       "planning player at one of three speeds."),
        QStringLiteral("LEVEL"));
    const QCommandLineOption statsFile(
        QStringLiteral("stats-file"),
        QStringLiteral("On the way out, writes games played and the input-to-echo latency as "
                       "JSON to FILE."),
        QStringLiteral("FILE"));
    const QCommandLineOption predict(
        QStringLiteral("predict"),
        QStringLiteral("Moves its own block on its copy of the field at the press, as the game "
                       "does, and counts the places the server corrected (printed at the end, "
                       "and in the stats file)."));
    parser.addOptions({connect, name, password, games, seed, columns, waitPlayers, loss, latency,
                       skill, statsFile, predict, list, json, wait, masterConfig, lanTo, lanPort});
    if (const auto stop =
            readCommandLine(parser, arguments,
                            {&connect, &name, &password, &games, &seed, &columns, &waitPlayers,
                             &loss, &latency, &skill, &statsFile, &wait, &masterConfig})) {
        return stopped<BotOptions>(*stop);
    }

    BotOptions b;
    b.list = parser.isSet(list);
    b.json = parser.isSet(json);
    if (b.json && !b.list) {
        return BotOptionsResult::failure(QStringLiteral("'--json' goes with '--list'."));
    }
    if (b.list) {
        return readListOptions(parser, wait, masterConfig, lanTo, lanPort, b);
    }
    if (!parser.isSet(connect)) {
        return BotOptionsResult::failure(QStringLiteral("'--connect HOST:PORT' is required."));
    }
    b.address = parser.value(connect);
    const qsizetype colon = b.address.indexOf(QLatin1Char(':'));
    if (colon <= 0 || b.address.left(colon).trimmed().isEmpty() ||
        !readInteger(b.address.mid(colon + 1), 1, 65535)) {
        return BotOptionsResult::failure(
            QStringLiteral("'--connect' needs an address or a host name and a port, as in "
                           "127.0.0.1:27403, not '%1'.")
                .arg(b.address));
    }
    if (parser.isSet(name)) {
        b.name = parser.value(name);
        if (b.name.trimmed().isEmpty()) {
            return BotOptionsResult::failure(QStringLiteral("'--name' needs a name."));
        }
    }
    if (parser.isSet(password)) {
        if (parser.value(password).isEmpty()) {
            return BotOptionsResult::failure(QStringLiteral("'--password' needs a text."));
        }
        b.password = QLatin1Char(Quadrell::kPasswordMarker) + parser.value(password);
    }
    if (parser.isSet(skill)) {
        const std::optional<ComputerSkill> level = skillFromName(parser.value(skill));
        if (!level) {
            return BotOptionsResult::failure(
                QStringLiteral("'--skill' takes simple, easy, normal or hard, not '%1'.")
                    .arg(parser.value(skill)));
        }
        b.skill = *level;
    }
    b.predict = parser.isSet(predict);
    if (parser.isSet(latency)) {
        const std::optional<Latency> value = Latency::fromText(parser.value(latency));
        if (!value) {
            return BotOptionsResult::failure(QStringLiteral("'--latency' needs %1, not '%2'.")
                                                 .arg(Latency::expected(), parser.value(latency)));
        }
        b.latency = *value;
    }
    QString error;
    if (!readNumberOption(parser, games, 1, 1000000, b.games, error) ||
        !readNumberOption(parser, seed, 0, 0xffffffffLL, b.seed, error) ||
        !readNumberOption(parser, columns, 1, GameField::kColumnsPerPlayer, b.columns, error) ||
        !readNumberOption(parser, waitPlayers, 1, 4, b.waitPlayers, error) ||
        !readNumberOption(parser, loss, 0, 100, b.lossPercent, error) ||
        !readFileOption(parser, statsFile, b.statsFile, error)) {
        return BotOptionsResult::failure(error);
    }
    return BotOptionsResult::run(b);
}
