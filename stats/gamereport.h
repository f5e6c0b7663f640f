#pragma once

#include <QString>
#include <QStringList>
#include <QUrlQuery>

// One finished ranked game as a game server reports it, after every check.
struct GameReport {
    int score = 0;
    int lines = 0;
    int playtimeSeconds = 0;
    QStringList players;  // 1 to 4, in slot order
    QString authcode;
    QString gameId;  // empty from servers that do not send one
};

enum class ReportFault { None, Malformed, Forged, Implausible };

struct ReportCheck {
    ReportFault fault = ReportFault::Malformed;
    QString reason;  // why it was refused, for the log
    GameReport report;
};

// Reads and checks the query of one report: every item present once and in
// its exact form, the authcode over them, and a score that the game's rules
// can give for these lines and this play time. The game id may be missing
// (older servers), but not given twice or in another form.
ReportCheck checkReport(const QUrlQuery& query);

// The longest player name taken: the game's own names are far shorter, so
// anything longer did not come from it.
inline constexpr int kMaxReportedNameLength = 64;
