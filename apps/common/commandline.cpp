#include "commandline.h"

#include <QFileInfo>

#include <cstdio>

std::optional<CommandLineStop> readCommandLine(
    QCommandLineParser& parser, const QStringList& arguments,
    std::initializer_list<const QCommandLineOption*> singleValued) {
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help."));
    parser.addOption(help);
    if (!parser.parse(arguments)) {
        return CommandLineStop{CommandLineOutcome::Error, parser.errorText()};
    }
    if (parser.isSet(help)) {
        return CommandLineStop{CommandLineOutcome::Help, parser.helpText()};
    }
    if (!parser.positionalArguments().isEmpty()) {
        return CommandLineStop{CommandLineOutcome::Error,
                               QStringLiteral("Unexpected argument '%1'.")
                                   .arg(parser.positionalArguments().constFirst())};
    }
    for (const QCommandLineOption* o : singleValued) {
        if (parser.values(*o).size() > 1) {
            return CommandLineStop{
                CommandLineOutcome::Error,
                QStringLiteral("'--%1' is given more than once.").arg(o->names().constFirst())};
        }
    }
    return std::nullopt;
}

std::optional<qint64> readInteger(const QString& text, qint64 low, qint64 high) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    if (!ok || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

bool readFileOption(const QCommandLineParser& parser, const QCommandLineOption& option,
                    QString& out, QString& error) {
    if (!parser.isSet(option)) {
        return true;
    }
    if (parser.value(option).isEmpty()) {
        error = QStringLiteral("'--%1' needs a file name.").arg(option.names().constFirst());
        return false;
    }
    out = parser.value(option);
    return true;
}

bool readMasterConfigOption(const QCommandLineParser& parser, const QCommandLineOption& option,
                            QString& out, QString& error) {
    if (!parser.isSet(option)) {
        return true;
    }
    const QFileInfo file(parser.value(option));
    if (!file.isFile() || !file.isReadable()) {
        error =
            QStringLiteral("Cannot read the master server file '%1'.").arg(parser.value(option));
        return false;
    }
    out = parser.value(option);
    return true;
}

int finishCommandLine(const char* program, CommandLineOutcome outcome, const QString& text) {
    if (outcome == CommandLineOutcome::Help) {
        std::fputs(qPrintable(text), stdout);
        return 0;
    }
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", program, qPrintable(text), program);
    return 2;
}
