#include "botoptions.h"

#include <QCommandLineParser>
#include <QHostAddress>

namespace {

// The GUI sends a typed password behind this one-character marker.
constexpr QLatin1Char kPasswordMarker('P');
constexpr int kPartColumns = 12;

BotOptionsResult failure(const QString& text) {
    BotOptionsResult r;
    r.text = text;
    return r;
}

bool readNumber(const QString& text, qint64 low, qint64 high, qint64& out) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    if (!ok || value < low || value > high) {
        return false;
    }
    out = value;
    return true;
}

}  // namespace

BotOptionsResult parseBotOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Quadrell player without a window: joins a game server, plays its part "
                       "of the ring with a simple policy and prints one line per game."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help."));
    const QCommandLineOption connect(QStringLiteral("connect"),
                                     QStringLiteral("Game server to join (required)."),
                                     QStringLiteral("ADDRESS:PORT"));
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
    parser.addOptions({help, connect, name, password, games, seed, columns, waitPlayers});

    if (!parser.parse(arguments)) {
        return failure(parser.errorText());
    }
    if (parser.isSet(help)) {
        BotOptionsResult r;
        r.outcome = BotOptionsResult::Outcome::Help;
        r.text = parser.helpText();
        return r;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return failure(QStringLiteral("Unexpected argument '%1'.")
                           .arg(parser.positionalArguments().constFirst()));
    }
    for (const QCommandLineOption* o :
         {&connect, &name, &password, &games, &seed, &columns, &waitPlayers}) {
        if (parser.values(*o).size() > 1) {
            return failure(
                QStringLiteral("'--%1' is given more than once.").arg(o->names().first()));
        }
    }

    BotOptions b;
    if (!parser.isSet(connect)) {
        return failure(QStringLiteral("'--connect ADDRESS:PORT' is required."));
    }
    b.address = parser.value(connect);
    const qsizetype colon = b.address.indexOf(QLatin1Char(':'));
    qint64 port = 0;
    if (colon < 0 || QHostAddress(b.address.left(colon)).isNull() ||
        !readNumber(b.address.mid(colon + 1), 1, 65535, port)) {
        return failure(QStringLiteral("'--connect' needs a numeric address and a port, as in "
                                      "127.0.0.1:27403, not '%1'.")
                           .arg(b.address));
    }
    if (parser.isSet(name)) {
        b.name = parser.value(name);
        if (b.name.trimmed().isEmpty()) {
            return failure(QStringLiteral("'--name' needs a name."));
        }
    }
    if (parser.isSet(password)) {
        if (parser.value(password).isEmpty()) {
            return failure(QStringLiteral("'--password' needs a text."));
        }
        b.password = kPasswordMarker + parser.value(password);
    }
    qint64 value = 0;
    if (parser.isSet(games)) {
        if (!readNumber(parser.value(games), 1, 1000000, value)) {
            return failure(QStringLiteral("'--games' needs a number from 1 to 1000000, not '%1'.")
                               .arg(parser.value(games)));
        }
        b.games = static_cast<int>(value);
    }
    if (parser.isSet(seed)) {
        if (!readNumber(parser.value(seed), 0, 0xffffffffLL, value)) {
            return failure(QStringLiteral("'--seed' needs a number from 0 to 4294967295, not '%1'.")
                               .arg(parser.value(seed)));
        }
        b.seed = static_cast<std::uint32_t>(value);
    }
    if (parser.isSet(columns)) {
        if (!readNumber(parser.value(columns), 1, kPartColumns, value)) {
            return failure(QStringLiteral("'--columns' needs a number from 1 to 12, not '%1'.")
                               .arg(parser.value(columns)));
        }
        b.columns = static_cast<int>(value);
    }
    if (parser.isSet(waitPlayers)) {
        if (!readNumber(parser.value(waitPlayers), 1, 4, value)) {
            return failure(QStringLiteral("'--wait-players' needs a number from 1 to 4, not '%1'.")
                               .arg(parser.value(waitPlayers)));
        }
        b.waitPlayers = static_cast<int>(value);
    }
    BotOptionsResult r;
    r.outcome = BotOptionsResult::Outcome::Run;
    r.options = b;
    return r;
}
