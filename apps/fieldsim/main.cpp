// Plays random pieces on the real field rules without network or GUI and reports
// rows cleared, score and the cost of one tick; or plays a kept game again.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "fieldrun.h"
#include "game/computerskill.h"
#include "game/replayfile.h"
#include "game/replayplayer.h"

namespace {

// What the command line asked for.
struct SimOptions {
    int columns = 0;
    int pieces = 0;
    uint seed = 0;
    std::vector<ComputerSkill> skills;
    FieldRun::People people{};
    int untilSpeed = GameSimulation::kMaxSpeed + 1;  // never
    bool show = false;
};

void addOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        QStringLiteral("Plays pieces on a shared field with one simple player per 12 columns."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("columns"), QStringLiteral("Field width: 12, 24, 36 or 48."),
                      QStringLiteral("N"), QStringLiteral("48")});
    parser.addOption({QStringLiteral("pieces"), QStringLiteral("Pieces to land before stopping."),
                      QStringLiteral("N"), QStringLiteral("500")});
    parser.addOption({QStringLiteral("seed"), QStringLiteral("Seed of the random pieces."),
                      QStringLiteral("N"), QStringLiteral("1")});
    parser.addOption({QStringLiteral("skill"),
                      QStringLiteral("simple, easy, normal or hard; one for every player, or a "
                                     "comma-separated list with one per player."),
                      QStringLiteral("LEVEL"), QStringLiteral("simple")});
    parser.addOption({QStringLiteral("until-speed"),
                      QStringLiteral("Stop once the game reaches this speed (1 to 50)."),
                      QStringLiteral("N")});
    parser.addOption({QStringLiteral("person"),
                      QStringLiteral("Players the computers beside them take for a person "
                                     "(numbers from 1, comma-separated), as they do a simple "
                                     "player."),
                      QStringLiteral("N")});
    parser.addOption({QStringLiteral("show"), QStringLiteral("Print the final field.")});
    parser.addOption({QStringLiteral("replay"),
                      QStringLiteral("Play a game a server kept (.qrpl) again and compare its "
                                     "result with the recorded one: exit 0 when they match, 1 "
                                     "when not, 2 when the file cannot be read."),
                      QStringLiteral("FILE")});
}

// The field's width, how long to play and the pieces' seed. Each reader
// below prints why it refuses a value and returns false.
bool readField(const QCommandLineParser& parser, SimOptions& o) {
    bool ok = false;
    o.columns = parser.value(QStringLiteral("columns")).toInt(&ok);
    if (!ok || !GameField::isValidWidth(o.columns)) {
        std::fprintf(stderr, "quadrell-fieldsim: --columns must be 12, 24, 36 or 48\n");
        return false;
    }
    o.pieces = parser.value(QStringLiteral("pieces")).toInt(&ok);
    if (!ok || o.pieces < 1) {
        std::fprintf(stderr, "quadrell-fieldsim: --pieces must be a positive number\n");
        return false;
    }
    o.seed = parser.value(QStringLiteral("seed")).toUInt(&ok);
    if (!ok) {
        std::fprintf(stderr, "quadrell-fieldsim: --seed must be a non-negative number\n");
        return false;
    }
    return true;
}

// Who plays: a skill for each player (or all), and the players taken for a
// person. Needs the field's width read.
bool readPlayers(const QCommandLineParser& parser, SimOptions& o) {
    const int players = o.columns / GameField::kColumnsPerPlayer;
    for (const QString& name : parser.value(QStringLiteral("skill")).split(QLatin1Char(','))) {
        const std::optional<ComputerSkill> skill = skillFromName(name.trimmed());
        if (!skill) {
            std::fprintf(stderr, "quadrell-fieldsim: --skill takes simple, easy, normal or hard\n");
            return false;
        }
        o.skills.push_back(*skill);
    }
    if (o.skills.size() > static_cast<std::size_t>(players)) {
        std::fprintf(stderr, "quadrell-fieldsim: --skill names more players than the field has\n");
        return false;
    }
    if (parser.isSet(QStringLiteral("person"))) {
        for (const QString& number :
             parser.value(QStringLiteral("person")).split(QLatin1Char(','))) {
            bool ok = false;
            const int n = number.trimmed().toInt(&ok);
            if (!ok || n < 1 || n > players) {
                std::fprintf(stderr,
                             "quadrell-fieldsim: --person takes player numbers from 1 to %d\n",
                             players);
                return false;
            }
            o.people[static_cast<std::size_t>(n - 1)] = true;
        }
    }
    return true;
}

bool readStop(const QCommandLineParser& parser, SimOptions& o) {
    if (parser.isSet(QStringLiteral("until-speed"))) {
        bool ok = false;
        o.untilSpeed = parser.value(QStringLiteral("until-speed")).toInt(&ok);
        if (!ok || o.untilSpeed < 1 || o.untilSpeed > GameSimulation::kMaxSpeed) {
            std::fprintf(stderr, "quadrell-fieldsim: --until-speed must be 1 to 50\n");
            return false;
        }
    }
    o.show = parser.isSet(QStringLiteral("show"));
    return true;
}

// Plays until the game ends, the pieces are landed or the speed is reached;
// the time of each tick, sorted.
std::vector<qint64> play(FieldRun& run, const SimOptions& o) {
    std::vector<qint64> tickNs;
    QElapsedTimer timer;
    while (!run.over() && run.piecesLanded() < o.pieces &&
           run.simulation().speed() < o.untilSpeed) {
        run.feedInput();  // the players think outside the measured tick
        timer.start();
        run.tick();
        tickNs.push_back(timer.nsecsElapsed());
    }
    std::sort(tickNs.begin(), tickNs.end());
    return tickNs;
}

void printReport(FieldRun& run, const SimOptions& o, const std::vector<qint64>& tickNs) {
    qint64 total = 0;
    for (qint64 ns : tickNs) {
        total += ns;
    }
    const auto percentile = [&](double p) {
        return tickNs.empty() ? 0.0
                              : tickNs[static_cast<std::size_t>(p * (tickNs.size() - 1))] / 1000.0;
    };
    const GameSimulation& sim = run.simulation();
    std::printf("columns %d, players %d, seed %u\n", o.columns,
                o.columns / GameField::kColumnsPerPlayer, o.seed);
    std::printf("pieces %d, rows cleared %d, score %d, speed %d, %s\n", run.piecesLanded(),
                sim.lines(), sim.score(), sim.speed(), run.over() ? "game over" : "stopped");
    QStringList names;
    for (ComputerSkill skill : o.skills) {
        names.append(skillName(skill));
    }
    std::printf("skill %s, play time %s\n", qPrintable(names.join(QLatin1Char(','))),
                qPrintable(GameSimulation::playtimeText(sim.playtimeMs())));
    std::printf("ticks %zu, time per tick: mean %.2f us, median %.2f us, p99 %.2f us\n",
                tickNs.size(), tickNs.empty() ? 0.0 : total / 1000.0 / tickNs.size(),
                percentile(0.5), percentile(0.99));
}

// Landed boxes as #, falling blocks as the last digit of their id.
void printField(const GameField& field, int columns) {
    for (int r = GameField::kRows - 1; r >= 0; --r) {
        std::printf("%2d |", r);
        for (int c = 0; c < columns; ++c) {
            const int holder = field.cell(c, r);
            std::putchar(holder == GameField::kNoBlock        ? '.'
                         : holder == GameField::kFieldBlockId ? '#'
                                                              : '0' + holder % 10);
        }
        std::printf("|\n");
    }
}

// The recorded and the replayed result, and whether they match.
int replay(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "quadrell-fieldsim: cannot open %s: %s\n", qPrintable(path),
                     qPrintable(file.errorString()));
        return 2;
    }
    // One byte past the limit is enough to refuse a file too large.
    const ReplayFile::ReadResult read = ReplayFile::read(file.read(ReplayFile::kMaxBytes + 1));
    if (!read.replay) {
        std::fprintf(stderr, "quadrell-fieldsim: %s is no replay this program reads: %s\n",
                     qPrintable(path), qPrintable(read.error));
        return 2;
    }
    const ReplayFile::Replay& r = *read.replay;
    QElapsedTimer timer;
    timer.start();
    const ReplayPlayer::Outcome out = ReplayPlayer::play(r);
    const qint64 ms = timer.elapsed();
    std::printf("recorded: %s, %lld ticks\n", qPrintable(ReplayPlayer::describe(r.result)),
                static_cast<long long>(r.ticks));
    std::printf("replayed: %s, %lld ticks in %lld ms: %s%s%s\n",
                qPrintable(ReplayPlayer::describe(out.result)), static_cast<long long>(out.ticks),
                static_cast<long long>(ms), out.matches ? "match" : "MISMATCH",
                out.error.isEmpty() ? "" : " - ", qPrintable(out.error));
    return out.matches ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quadrell-fieldsim"));

    QCommandLineParser parser;
    addOptions(parser);
    parser.process(app);
    if (parser.isSet(QStringLiteral("replay"))) {
        return replay(parser.value(QStringLiteral("replay")));
    }
    SimOptions o;
    if (!readField(parser, o) || !readPlayers(parser, o) || !readStop(parser, o)) {
        return 2;
    }

    FieldRun run(o.columns, o.seed, false, nullptr, o.skills, o.people);
    const std::vector<qint64> tickNs = play(run, o);
    printReport(run, o, tickNs);
    if (o.show) {
        printField(run.simulation().field(), o.columns);
    }
    return 0;
}
