#include "statsquery.h"

#include <QTime>
#include <QUrl>
#include <algorithm>

#include "game/appinfo.h"
#include "payloadcodec.h"

namespace StatsQuery {

QString compactPlaytime(const QString& playtime) {
    QTime t = QTime::fromString(playtime, Qt::ISODate);
    if (!t.isValid()) {
        t = QTime(0, 0);
    }
    return QStringLiteral("%1%2%3")
        .arg(t.hour())
        .arg(t.minute(), 2, 10, QLatin1Char('0'))
        .arg(t.second(), 2, 10, QLatin1Char('0'));
}

QString authcode(int score, int lines, const QString& compactPlaytime, const QString& players) {
    return PayloadCodec::sha1Hex(QString::number(score) + QString::number(lines) + compactPlaytime +
                                 players + QLatin1String(Quadrell::kDigestSalt));
}

QString gameId(quint64 number) {
    return QStringLiteral("%1").arg(number, kGameIdLength, 16, QLatin1Char('0'));
}

bool isGameId(const QString& text) {
    return text.size() == kGameIdLength && std::all_of(text.begin(), text.end(), [](QChar c) {
               return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                      (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
           });
}

QByteArray encode(int score, int lines, const QString& playtime, const QStringList& players,
                  const QString& gameId) {
    const QString compact = compactPlaytime(playtime);
    const QString names = players.join(QLatin1Char(' '));
    const std::pair<const char*, QString> items[] = {
        {kScore, QString::number(score)},
        {kLines, QString::number(lines)},
        {kPlaytime, compact},
        {kPlayers, names},
        {kAuthcode, authcode(score, lines, compact, names)},
    };
    // Encoded by hand: a '+' or '&' in a player name must reach the endpoint as
    // itself, or the authcode it computes would differ.
    QByteArray query;
    for (const auto& [key, value] : items) {
        if (!query.isEmpty()) {
            query += '&';
        }
        query += QByteArray(key) + '=' + QUrl::toPercentEncoding(value);
    }
    if (!gameId.isEmpty()) {
        query += QByteArray("&") + kGame + '=' + gameId.toLatin1();
    }
    return query;
}

}  // namespace StatsQuery
