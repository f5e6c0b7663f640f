#include "gameresult.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>

#include "game/appinfo.h"
#include "network/payloadcodec.h"

GameResult::GameResult(int score, int lines, const QString& playtime, const QString& date,
                       int playerCount, const QString& players, const QString& checksum,
                       QObject* parent)
    : QObject(parent),
      valid_(checksum == GameResult::checksum(score, lines, playtime, playerCount, players)),
      score_(score),
      lines_(lines),
      playtime_(playtime),
      date_(date),
      playerCount_(playerCount),
      players_(players) {}

QString GameResult::checksum(int score, int lines, const QString& playtime, int playerCount,
                             const QString& players) {
    return PayloadCodec::sha1Hex(QString::number(score) + QString::number(lines) + playtime +
                                 QString::number(playerCount) + QLatin1Char(' ') + players +
                                 QLatin1String(Quadrell::kDigestSalt));
}

QString GameResult::date() const {
    if (formattedDate_.isEmpty()) {
        const QDateTime when = QDateTime::fromString(date_, Qt::ISODate);
        // A date we cannot read is shown as it stands rather than as nothing.
        formattedDate_ =
            when.isValid() ? QLocale::system().toString(when, QLocale::ShortFormat) : date_;
    }
    return formattedDate_;
}

QString GameResult::players() const {
    if (formattedPlayers_.isEmpty()) {
        const QStringList names = players_.split(QLatin1Char(' '));
        if (names.size() == 1) {
            formattedPlayers_ = names.constFirst();
        } else {
            QString text = names.constFirst();
            for (qsizetype i = 1; i + 1 < names.size(); ++i) {
                text += QStringLiteral(", ") + names.at(i);
            }
            formattedPlayers_ =
                text + QLatin1Char(' ') + tr("and") + QLatin1Char(' ') + names.constLast();
        }
    }
    return formattedPlayers_;
}
