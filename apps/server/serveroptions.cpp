#include "serveroptions.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace {

// The GUI sends a typed password behind this one-character marker.
constexpr QLatin1Char kPasswordMarker('P');
// A server name travels in one datagram with the server description.
constexpr int kMaxNameLength = 64;

bool readInt(const QString& text, int low, int high, int& out) {
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || value < low || value > high) {
        return false;
    }
    out = value;
    return true;
}

OptionsResult failure(const QString& text) {
    OptionsResult r;
    r.outcome = OptionsResult::Outcome::Error;
    r.text = text;
    return r;
}

}  // namespace

OptionsResult parseDedicatedOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Quadrell game server without a window. The first client to join becomes host."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help."));
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
    parser.addOptions(
        {help, port, name, maxPlayers, password, ranked, masterConfig, statsFile, heartbeat});

    if (!parser.parse(arguments)) {
        return failure(parser.errorText());
    }
    if (parser.isSet(help)) {
        OptionsResult r;
        r.outcome = OptionsResult::Outcome::Help;
        r.text = parser.helpText();
        return r;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return failure(QStringLiteral("Unexpected argument '%1'.")
                           .arg(parser.positionalArguments().constFirst()));
    }
    // An option given twice is a typo waiting to surprise.
    for (const QCommandLineOption* o :
         {&port, &name, &maxPlayers, &password, &masterConfig, &statsFile, &heartbeat}) {
        if (parser.values(*o).size() > 1) {
            return failure(
                QStringLiteral("'--%1' is given more than once.").arg(o->names().first()));
        }
    }

    DedicatedOptions d;
    if (parser.isSet(port) && !readInt(parser.value(port), 0, 65535, d.port)) {
        return failure(QStringLiteral("'--port' needs a number from 0 to 65535, not '%1'.")
                           .arg(parser.value(port)));
    }
    if (parser.isSet(heartbeat) && !readInt(parser.value(heartbeat), 100, 3600000, d.heartbeatMs)) {
        return failure(
            QStringLiteral("'--heartbeat-ms' needs a number from 100 to 3600000, not '%1'.")
                .arg(parser.value(heartbeat)));
    }
    if (parser.isSet(maxPlayers) && !readInt(parser.value(maxPlayers), 1, 4, d.maxPlayers)) {
        return failure(QStringLiteral("'--max-players' needs a number from 1 to 4, not '%1'.")
                           .arg(parser.value(maxPlayers)));
    }
    if (parser.isSet(name)) {
        // Clients check the description's digest over the name with single
        // spaces between its words, so the name is given that shape.
        const QString text = parser.value(name).simplified();
        for (const QChar c : text) {
            if (c.category() == QChar::Other_Control) {
                return failure(QStringLiteral("'--name' must not contain control characters."));
            }
        }
        if (text.isEmpty() || text.size() > kMaxNameLength) {
            return failure(
                QStringLiteral("'--name' needs 1 to %1 characters.").arg(kMaxNameLength));
        }
        d.name = text;
    }
    if (parser.isSet(password)) {
        if (parser.value(password).isEmpty()) {
            return failure(QStringLiteral("'--password' needs a text."));
        }
        d.usePassword = true;
        d.password = kPasswordMarker + parser.value(password);
    }
    d.ranked = parser.isSet(ranked);
    if (parser.isSet(masterConfig)) {
        d.masterConfig = parser.value(masterConfig);
        const QFileInfo file(d.masterConfig);
        if (!file.isFile() || !file.isReadable()) {
            return failure(
                QStringLiteral("Cannot read the master server file '%1'.").arg(d.masterConfig));
        }
    }
    if (parser.isSet(statsFile)) {
        d.statsFile = parser.value(statsFile);
        if (d.statsFile.isEmpty()) {
            return failure(QStringLiteral("'--stats-file' needs a file name."));
        }
    }
    OptionsResult r;
    r.outcome = OptionsResult::Outcome::Run;
    r.options = d;
    return r;
}
