#include "gameoptions.h"

#include <QCommandLineParser>
#include <algorithm>

#include "network/invitecode.h"

namespace {

// What QGuiApplication, QApplication and the xcb platform take, each with the
// word after it or alone; Qt accepts them with one dash or two.
const QStringList kQtValueOptions = {
    QStringLiteral("platform"),
    QStringLiteral("platformpluginpath"),
    QStringLiteral("platformtheme"),
    QStringLiteral("plugin"),
    QStringLiteral("qwindowgeometry"),
    QStringLiteral("qwindowicon"),
    QStringLiteral("qwindowtitle"),
    QStringLiteral("geometry"),
    QStringLiteral("title"),
    QStringLiteral("icon"),
    QStringLiteral("session"),
    QStringLiteral("style"),
    QStringLiteral("stylesheet"),
    QStringLiteral("display"),
    QStringLiteral("name"),
    QStringLiteral("visual"),
};
const QStringList kQtFlags = {
    QStringLiteral("reverse"), QStringLiteral("testability"), QStringLiteral("widgetcount"),
    QStringLiteral("nograb"),  QStringLiteral("dograb"),
};
// Only these take their value after '='.
const QStringList kQtJoinedOptions = {
    QStringLiteral("style="),
    QStringLiteral("stylesheet="),
    QStringLiteral("qmljsdebugger="),
};

// The scheme a desktop names in the links it hands the game.
const QString kScheme = QStringLiteral("quadrell:");

QString qtOptionName(const QString& argument) {
    if (argument.startsWith(QLatin1String("--"))) {
        return argument.mid(2);
    }
    return argument.startsWith(QLatin1Char('-')) ? argument.mid(1) : QString();
}

}  // namespace

QStringList withoutQtOptions(const QStringList& arguments) {
    QStringList ours;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString name = i == 0 ? QString() : qtOptionName(arguments[i]);
        if (arguments[i] == QLatin1String("--")) {
            ours.append(arguments.mid(i));
            break;
        }
        if (kQtValueOptions.contains(name)) {
            ++i;  // its value, if there is one
        } else if (!kQtFlags.contains(name) &&
                   std::none_of(kQtJoinedOptions.begin(), kQtJoinedOptions.end(),
                                [&](const QString& o) { return name.startsWith(o); })) {
            ours.append(arguments[i]);
        }
    }
    return ours;
}

CommandLineResult<GameOptions> parseGameOptions(const QStringList& arguments,
                                                const QString& dataDirVariable,
                                                const QString& latencyVariable) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Quadrell, a cooperative falling-block game for up to four players.\n"
                       "Qt's own options (-platform, -style, -geometry, -display, ...) work "
                       "too."));
    const QCommandLineOption windowed(QStringLiteral("windowed"),
                                      QStringLiteral("Starts in a window instead of full screen "
                                                     "(Alt+Enter switches while playing)."));
    const QCommandLineOption dataDir(
        QStringLiteral("data-dir"),
        QStringLiteral("Keeps settings, highscores and screenshots in DIR (default: $%1, "
                       "else the user's configuration, data and pictures folders).")
            .arg(QLatin1String(kDataDirVariable)),
        QStringLiteral("DIR"));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Shows the version."));
    const QCommandLineOption flatOut(
        QStringLiteral("flat-out"),
        QStringLiteral("Draws frames as fast as it can instead of at the screen's refresh rate "
                       "(for benchmarks)."));
    parser.addOptions({windowed, dataDir, version, flatOut});
    parser.addPositionalArgument(
        QStringLiteral("link"),
        QStringLiteral("%1XXXX-XXXX: joins the game of that invite code.")
            .arg(QLatin1String(InviteCode::kLinkPrefix)),
        QStringLiteral("[%1CODE]").arg(QLatin1String(InviteCode::kLinkPrefix)));
    // The link is the one argument that is neither an option nor a value.
    QStringList ours = withoutQtOptions(arguments);
    QStringList links;
    for (qsizetype i = ours.size() - 1; i > 0; --i) {
        if (ours[i].startsWith(kScheme, Qt::CaseInsensitive)) {
            links.prepend(ours.takeAt(i));
        }
    }
    if (const auto stop = readCommandLine(parser, ours, {&dataDir})) {
        return stopped<GameOptions>(*stop);
    }
    GameOptions options;
    options.windowed = parser.isSet(windowed);
    options.version = parser.isSet(version);
    options.dataDirectory = dataDirVariable;
    options.flatOut = parser.isSet(flatOut);
    if (links.size() > 1) {
        return CommandLineResult<GameOptions>::failure(
            QStringLiteral("One link at a time, not '%1'.").arg(links.join(QStringLiteral("' '"))));
    }
    if (!links.isEmpty()) {
        // Past "quadrell:" only the link's own prefix leaves a code to read.
        const std::optional<QString> code = InviteCode::parse(links.constFirst());
        if (!code) {
            return CommandLineResult<GameOptions>::failure(
                QStringLiteral("'%1' is no invite link: one reads %2XXXX-XXXX.")
                    .arg(links.constFirst(), QLatin1String(InviteCode::kLinkPrefix)));
        }
        options.joinCode = *code;
    }
    if (!latencyVariable.isEmpty()) {
        const std::optional<Latency> latency = Latency::fromText(latencyVariable);
        if (!latency) {
            return CommandLineResult<GameOptions>::failure(
                QStringLiteral("%1 needs %2, not '%3'.")
                    .arg(QLatin1String(kLatencyVariable), Latency::expected(), latencyVariable));
        }
        options.latency = *latency;
    }
    QString error;
    if (!readFileOption(parser, dataDir, options.dataDirectory, error)) {
        return CommandLineResult<GameOptions>::failure(error);
    }
    return CommandLineResult<GameOptions>::run(options);
}
