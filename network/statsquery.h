#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The stats report of a ranked game as it travels: the path, the query items
// in their order and the authcode over them. The game server writes it and
// the stats service reads it, so both take it from here.
namespace StatsQuery {

inline constexpr char kPath[] = "/stats-report.php";
inline constexpr char kScore[] = "score";
inline constexpr char kLines[] = "lines";
inline constexpr char kPlaytime[] = "playtime";
inline constexpr char kPlayers[] = "players";
inline constexpr char kAuthcode[] = "authcode";
// Tells two games with the same result apart, so that a retry is stored once
// however late it comes: 16 lower-case hex digits drawn when the game ends.
// Not part of the authcode: services that do not know it still check and
// take the report, and services that do still take reports without it.
inline constexpr char kGame[] = "game";
inline constexpr int kGameIdLength = 16;

// Play time as the report writes it: hours without leading zero, then
// minutes and seconds with two digits ("0:02:05" -> "00205"). The argument
// is the hh:mm:ss text of the game-over message.
QString compactPlaytime(const QString& playtime);

// SHA-1 with the shared salt over the item values, in lower-case hex.
QString authcode(int score, int lines, const QString& compactPlaytime, const QString& players);

// The query of one report, percent-encoded; players in slot order. The game
// id goes last, when there is one.
QByteArray encode(int score, int lines, const QString& playtime, const QStringList& players,
                  const QString& gameId = QString());

QString gameId(quint64 number);
bool isGameId(const QString& text);

}  // namespace StatsQuery
