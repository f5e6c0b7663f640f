#include "leaderboardpage.h"

#include <QDateTime>
#include <QJsonArray>
#include <QLocale>
#include <algorithm>
#include <climits>

namespace LeaderboardPage {

namespace {

constexpr qint64 kDayMs = 86400000;

QString utc(qint64 ms, const QString& format) {
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(format);
}

QString number(qint64 n) {
    return QLocale::c().toString(n).replace(QLatin1Char(','), QChar(0x202F));
}

const char kStyle[] = R"(
:root{color-scheme:light dark;--fg:#1d2330;--bg:#f6f7fb;--card:#fff;--line:#e2e5ee;--muted:#5d6578;--accent:#2f6fde}
@media (prefers-color-scheme:dark){:root{--fg:#e6e9f0;--bg:#151821;--card:#1e2230;--line:#2d3345;--muted:#9aa3b8;--accent:#6c9cff}}
*{box-sizing:border-box}
body{margin:0;font:15px/1.45 system-ui,-apple-system,"Segoe UI",Roboto,sans-serif;color:var(--fg);background:var(--bg)}
main{max-width:1100px;margin:0 auto;padding:16px}
h1{font-size:1.6em;margin:.2em 0 .6em}
h2{font-size:1.1em;margin:0 0 .5em}
.totals{display:flex;flex-wrap:wrap;gap:8px;margin:0 0 16px;padding:0;list-style:none}
.totals li{background:var(--card);border:1px solid var(--line);border-radius:8px;padding:8px 14px}
.totals b{display:block;font-size:1.3em}
.grid{display:grid;grid-template-columns:repeat(auto-fit,minmax(min(100%,500px),1fr));gap:16px;margin-bottom:16px}
section{background:var(--card);border:1px solid var(--line);border-radius:8px;padding:12px 14px;margin-bottom:16px;min-width:0}
.grid section{margin-bottom:0}
table{border-collapse:collapse;width:100%;font-variant-numeric:tabular-nums}
th,td{text-align:left;padding:5px 8px;border-bottom:1px solid var(--line);white-space:nowrap}
td.players{white-space:normal;overflow-wrap:break-word;min-width:9em}
th{color:var(--muted);font-weight:600;font-size:.85em}
.n{text-align:right}
tr:last-child td{border-bottom:0}
.empty{color:var(--muted);margin:.3em 0}
svg{display:block;width:100%;height:130px}
svg rect{fill:var(--accent)}
svg line{stroke:var(--muted);stroke-width:1}
.axis{display:flex;justify-content:space-between;color:var(--muted);font-size:.85em}
footer{color:var(--muted);font-size:.85em}
a{color:var(--accent)}
@media (max-width:600px){
main{padding:10px}
section{padding:10px 12px}
thead{display:none}
table,tbody{display:block}
tr{display:grid;grid-template-columns:repeat(3,auto) 1fr;column-gap:14px;padding:6px 0;border-bottom:1px solid var(--line)}
tr:last-child{border-bottom:0}
td{padding:0;border:0;text-align:left}
td[data-unit]::after{content:attr(data-unit);color:var(--muted)}
td.players,td.date,td.proof{grid-column:1/-1;min-width:0}
td.date{color:var(--muted);font-size:.85em}
table.ranked tr{grid-template-columns:2em repeat(3,auto) 1fr}
table.ranked td.players,table.ranked td.date,table.ranked td.proof{grid-column:2/-1}
td.rank{grid-row:span 4;font-weight:600}
}
)";

QString gameRows(const QList<StoredGame>& games, bool ranked) {
    // The best games may be old: the day is enough there.
    const QString when = ranked ? QStringLiteral("yyyy-MM-dd") : QStringLiteral("yyyy-MM-dd HH:mm");
    QString rows;
    int rank = 0;
    for (const StoredGame& g : games) {
        rows += QStringLiteral("<tr>");
        if (ranked) {
            rows += QStringLiteral("<td class=\"n rank\">%1</td>").arg(++rank);
        }
        // The units show only where a phone drops the column heads.
        rows +=
            QStringLiteral(
                "<td class=\"n\" data-unit=\" points\">%1</td>"
                "<td class=\"n\" data-unit=\" lines\">%2</td><td class=\"n\">%3</td>"
                "<td class=\"players\">%4</td><td class=\"date\">%5</td>"
                "<td class=\"proof\">%6</td></tr>\n")
                .arg(number(g.score), number(g.lines), playtime(g.playtimeSeconds),
                     g.players.join(QStringLiteral(", ")).toHtmlEscaped(), utc(g.finishedMs, when),
                     g.verified ? QStringLiteral("<a href=\"%1\" title=\"The replay that proves "
                                                 "it, to open in the game\">verified</a>")
                                      .arg(replayPath(g.id))
                                : QString());
    }
    return rows;
}

QString gameTable(const QString& title, const QList<StoredGame>& games, bool ranked) {
    QString out = QStringLiteral("<section><h2>%1</h2>").arg(title);
    if (games.isEmpty()) {
        return out + QStringLiteral("<p class=\"empty\">No games yet.</p></section>\n");
    }
    return out +
           QStringLiteral(
               "<table%1><thead><tr>%2<th class=\"n\">Score</th>"
               "<th class=\"n\">Lines</th><th class=\"n\">Time</th><th>Players</th>"
               "<th>Date "
               "(UTC)</th><th>Replay</th></tr></thead><tbody>\n%3</tbody></table></section>\n")
               .arg(ranked ? QStringLiteral(" class=\"ranked\"") : QString(),
                    ranked ? QStringLiteral("<th class=\"n\">#</th>") : QString(),
                    gameRows(games, ranked));
}

QString chart(const Leaderboard& board) {
    // Bars only: the SVG stretches to any width, so its labels live in HTML.
    constexpr int kWidth = 900, kHeight = 130, kTop = 4;
    const int days = static_cast<int>(board.gamesPerDay.size());
    const int most =
        std::max(1, *std::max_element(board.gamesPerDay.begin(), board.gamesPerDay.end()));
    const double slot = double(kWidth) / std::max(1, days);
    QString bars;
    for (int i = 0; i < days; ++i) {
        const int n = board.gamesPerDay[i];
        const double h = double(kHeight - kTop) * n / most;
        bars += QStringLiteral(
                    "<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\">"
                    "<title>%5: %6</title></rect>")
                    .arg(i * slot + 2, 0, 'f', 1)
                    .arg(kHeight - h, 0, 'f', 1)
                    .arg(slot - 4, 0, 'f', 1)
                    .arg(h, 0, 'f', 1)
                    .arg(utc((board.firstDay + i) * kDayMs, QStringLiteral("yyyy-MM-dd")))
                    .arg(n);
    }
    return QStringLiteral(
               "<svg viewBox=\"0 0 %1 %2\" preserveAspectRatio=\"none\" role=\"img\" "
               "aria-label=\"Games per day, the last %3 days\">%4"
               "<line x1=\"0\" y1=\"%2\" x2=\"%1\" y2=\"%2\"/></svg>"
               "<div class=\"axis\"><span>%5</span><span>at most %6 a day</span>"
               "<span>%7</span></div>")
        .arg(kWidth)
        .arg(kHeight)
        .arg(days)
        .arg(bars, utc(board.firstDay * kDayMs, QStringLiteral("MMM d")))
        .arg(most)
        .arg(utc((board.firstDay + days - 1) * kDayMs, QStringLiteral("MMM d")));
}

QJsonArray gamesJson(const QList<StoredGame>& games) {
    QJsonArray out;
    for (const StoredGame& g : games) {
        QJsonObject game{
            {QStringLiteral("id"), g.id},
            {QStringLiteral("score"), g.score},
            {QStringLiteral("lines"), g.lines},
            {QStringLiteral("playtime"), playtime(g.playtimeSeconds)},
            {QStringLiteral("playtimeSeconds"), g.playtimeSeconds},
            {QStringLiteral("players"), QJsonArray::fromStringList(g.players)},
            {QStringLiteral("date"), utc(g.finishedMs, QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"))},
            {QStringLiteral("verified"), g.verified},
        };
        if (g.verified) {
            game.insert(QStringLiteral("replay"), replayPath(g.id));
        }
        out.append(game);
    }
    return out;
}

}  // namespace

QString replayPath(qint64 gameId) {
    return QStringLiteral("/replay/%1").arg(gameId);
}

QString playtime(int seconds) {
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QByteArray html(const Leaderboard& board, qint64 nowMs) {
    static const QString titles[] = {
        QStringLiteral("Best games alone"), QStringLiteral("Best games of 2 players"),
        QStringLiteral("Best games of 3 players"), QStringLiteral("Best games of 4 players")};
    QString best;
    for (int i = 0; i < 4; ++i) {
        best += gameTable(titles[i], board.best[i], true);
    }
    const QString page =
        QStringLiteral(
            "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
            "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
            "<title>Quadrell leaderboard</title><style>%1</style></head>\n<body><main>"
            "<h1>Quadrell leaderboard</h1>\n<ul class=\"totals\">"
            "<li><b>%2</b>games</li><li><b>%3</b>lines</li><li><b>%4</b>played</li></ul>\n"
            "<section><h2>Games per day</h2>%5</section>\n<div class=\"grid\">\n%6</div>\n%7"
            "<footer>As of %8 UTC. The same as JSON: <a href=\"/leaderboard.json\">"
            "leaderboard.json</a></footer></main></body></html>\n")
            .arg(QLatin1String(kStyle), number(board.games), number(board.lines),
                 playtime(static_cast<int>(std::min<qint64>(board.playtimeSeconds, INT_MAX))),
                 chart(board), best, gameTable(QStringLiteral("Latest games"), board.recent, false),
                 utc(nowMs, QStringLiteral("yyyy-MM-dd HH:mm")));
    return page.toUtf8();
}

QJsonObject json(const Leaderboard& board, qint64 nowMs) {
    QJsonArray best;
    for (int i = 0; i < 4; ++i) {
        best.append(QJsonObject{{QStringLiteral("playerCount"), i + 1},
                                {QStringLiteral("games"), gamesJson(board.best[i])}});
    }
    QJsonArray days;
    for (int i = 0; i < board.gamesPerDay.size(); ++i) {
        days.append(QJsonObject{{QStringLiteral("date"),
                                 utc((board.firstDay + i) * kDayMs, QStringLiteral("yyyy-MM-dd"))},
                                {QStringLiteral("games"), board.gamesPerDay[i]}});
    }
    return QJsonObject{
        {QStringLiteral("generated"), utc(nowMs, QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"))},
        {QStringLiteral("totals"),
         QJsonObject{{QStringLiteral("games"), board.games},
                     {QStringLiteral("lines"), board.lines},
                     {QStringLiteral("playtimeSeconds"), board.playtimeSeconds}}},
        {QStringLiteral("best"), best},
        {QStringLiteral("recent"), gamesJson(board.recent)},
        {QStringLiteral("gamesPerDay"), days},
    };
}

}  // namespace LeaderboardPage
