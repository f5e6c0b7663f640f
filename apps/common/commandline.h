#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <initializer_list>
#include <optional>

// How the headless programs read their command lines, so that all of them
// answer --help, unknown options and typos alike.
enum class CommandLineOutcome { Run, Help, Error };

template <typename Options>
struct CommandLineResult {
    using Outcome = CommandLineOutcome;
    Outcome outcome = Outcome::Error;
    Options options;
    QString text;  // the help text, or the error

    static CommandLineResult failure(const QString& error) { return {Outcome::Error, {}, error}; }
    static CommandLineResult run(const Options& options) { return {Outcome::Run, options, {}}; }
};

struct CommandLineStop {
    CommandLineOutcome outcome;
    QString text;
};

// Parses arguments (arguments[0] is the program) after adding -h/--help to
// parser. A stop when help was asked for, or for an unknown option, a
// positional argument or one of singleValued given more than once (a typo
// waiting to surprise); nothing when the caller goes on to read the values.
std::optional<CommandLineStop> readCommandLine(
    QCommandLineParser& parser, const QStringList& arguments,
    std::initializer_list<const QCommandLineOption*> singleValued);

template <typename Options>
CommandLineResult<Options> stopped(const CommandLineStop& stop) {
    return {stop.outcome, {}, stop.text};
}

// A decimal integer from low to high, nothing else.
std::optional<qint64> readInteger(const QString& text, qint64 low, qint64 high);

// When option is given, its value must be a number from low to high: it goes
// to out, or error says why it is refused and the result is false. An option
// not given leaves out as it is.
template <typename T>
bool readNumberOption(const QCommandLineParser& parser, const QCommandLineOption& option,
                      qint64 low, qint64 high, T& out, QString& error) {
    if (!parser.isSet(option)) {
        return true;
    }
    const auto value = readInteger(parser.value(option), low, high);
    if (!value) {
        error = QStringLiteral("'--%1' needs a number from %2 to %3, not '%4'.")
                    .arg(option.names().constFirst())
                    .arg(low)
                    .arg(high)
                    .arg(parser.value(option));
        return false;
    }
    out = static_cast<T>(*value);
    return true;
}

// When option is given, its value (a file name) must not be empty: it goes to
// out, or error says why it is refused and the result is false.
bool readFileOption(const QCommandLineParser& parser, const QCommandLineOption& option,
                    QString& out, QString& error);

// When option is given, it must name a readable master server file
// (masterserver.ini of another name): it goes to out, or error says why not.
bool readMasterConfigOption(const QCommandLineParser& parser, const QCommandLineOption& option,
                            QString& out, QString& error);

// Prints the help to stdout or the error, with a hint, to stderr. The exit
// code: 0 after help, 2 after an error.
int finishCommandLine(const char* program, CommandLineOutcome outcome, const QString& text);
