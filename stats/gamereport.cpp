#include "gamereport.h"

#include <QRegularExpression>
#include <limits>

#include "network/statsquery.h"

namespace {

// A row cleared alone gives 10 points, every further row of the same tick 20.
constexpr int kMinPointsPerLine = 10;
constexpr int kMaxPointsPerLine = 20;
constexpr int kPointsStep = 10;

ReportCheck refuse(ReportFault fault, const QString& reason) {
    return {fault, reason, {}};
}

// A decimal count as the game writes it: no sign, no leading zero, fits an int.
bool readCount(const QString& text, int& out) {
    static const QRegularExpression form(QStringLiteral("^(0|[1-9][0-9]{0,9})$"));
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!form.match(text).hasMatch() || !ok || value > std::numeric_limits<int>::max()) {
        return false;
    }
    out = static_cast<int>(value);
    return true;
}

// "Hmmss": hours without leading zero, then two digits each of minutes and seconds.
bool readPlaytime(const QString& text, int& seconds) {
    static const QRegularExpression form(
        QStringLiteral("^(0|[1-9][0-9]{0,3})([0-5][0-9])([0-5][0-9])$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch()) {
        return false;
    }
    seconds = m.captured(1).toInt() * 3600 + m.captured(2).toInt() * 60 + m.captured(3).toInt();
    return true;
}

bool readPlayers(const QString& text, QStringList& names) {
    names = text.split(QLatin1Char(' '));
    if (names.size() > 4) {
        return false;
    }
    for (const QString& name : names) {
        if (name.isEmpty() || name.size() > kMaxReportedNameLength) {
            return false;
        }
        for (const QChar c : name) {
            if (c.category() == QChar::Other_Control || c.isSpace() || c.isNonCharacter() ||
                c.category() == QChar::Other_Surrogate) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

ReportCheck checkReport(const QUrlQuery& query) {
    QString values[5];
    const char* keys[] = {StatsQuery::kScore, StatsQuery::kLines, StatsQuery::kPlaytime,
                          StatsQuery::kPlayers, StatsQuery::kAuthcode};
    for (int i = 0; i < 5; ++i) {
        const QStringList all =
            query.allQueryItemValues(QLatin1String(keys[i]), QUrl::FullyDecoded);
        if (all.size() != 1) {
            return refuse(ReportFault::Malformed,
                          QString::fromLatin1(all.isEmpty() ? "'%1' missing" : "'%1' given twice")
                              .arg(QLatin1String(keys[i])));
        }
        values[i] = all.first();
    }
    const auto& [score, lines, playtime, players, authcode] = values;
    const QStringList game =
        query.allQueryItemValues(QLatin1String(StatsQuery::kGame), QUrl::FullyDecoded);
    if (game.size() > 1 || (game.size() == 1 && !StatsQuery::isGameId(game.first()))) {
        return refuse(ReportFault::Malformed, QStringLiteral("'game' not one id of 16 hex digits"));
    }

    ReportCheck out{ReportFault::None, QString(), {}};
    GameReport& r = out.report;
    if (!readCount(score, r.score) || !readCount(lines, r.lines)) {
        return refuse(ReportFault::Malformed, QStringLiteral("score or lines not a count"));
    }
    if (!readPlaytime(playtime, r.playtimeSeconds)) {
        return refuse(ReportFault::Malformed, QStringLiteral("playtime not in the form Hmmss"));
    }
    if (!readPlayers(players, r.players)) {
        return refuse(ReportFault::Malformed, QStringLiteral("players not 1 to 4 names"));
    }
    if (authcode != StatsQuery::authcode(r.score, r.lines, playtime, players)) {
        return refuse(ReportFault::Forged, QStringLiteral("authcode does not match"));
    }
    const qint64 linePoints = qint64(r.score) - r.playtimeSeconds;
    if (linePoints < qint64(kMinPointsPerLine) * r.lines ||
        linePoints > qint64(kMaxPointsPerLine) * r.lines || linePoints % kPointsStep != 0) {
        return refuse(ReportFault::Implausible,
                      QStringLiteral("score %1 cannot come from %2 lines in %3 s")
                          .arg(r.score)
                          .arg(r.lines)
                          .arg(r.playtimeSeconds));
    }
    r.authcode = authcode;
    r.gameId = game.value(0);
    return out;
}
