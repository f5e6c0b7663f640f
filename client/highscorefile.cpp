#include "highscorefile.h"

#include <QDir>
#include <QFile>

#include "game/appinfo.h"
#include "game/playernames.h"

namespace {

// Fields of a line: date score lines playtime count names... "Quadrell" "Beta"
// "0.92" checksum.
constexpr int kCountField = 4;
constexpr int kFirstName = 5;
constexpr int kMinFields = 8;

}  // namespace

HighscoreFile::HighscoreFile(const QString& directory, std::function<QDateTime()> now)
    : path_(QDir(directory.isEmpty() ? QDir::currentPath() : directory)
                .filePath(QLatin1String(Quadrell::kHighscoreFile))),
      now_(now ? std::move(now) : [] { return QDateTime::currentDateTime(); }) {}

QByteArray HighscoreFile::line(const QDateTime& when, int score, int lines, const QString& playtime,
                               const QStringList& names) {
    QStringList safe;
    for (const QString& name : names) {
        safe.append(PlayerNames::sanitised(name, QStringLiteral("_")));
    }
    const QString time = PlayerNames::sanitisedToken(playtime, kMaxPlaytimeLength);
    const QString players = safe.join(QLatin1Char(' '));
    const QStringList fields = {
        when.toString(Qt::ISODate),
        QString::number(score),
        QString::number(lines),
        time,
        QString::number(safe.size()),
        players,
        QLatin1String(Quadrell::kApplicationName),
        QLatin1String(Quadrell::kVersion),
        GameResult::checksum(score, lines, time, static_cast<int>(safe.size()), players),
    };
    return fields.join(QLatin1Char(' ')).toUtf8();
}

bool HighscoreFile::append(int score, int lines, const QString& playtime,
                           const QStringList& names) const {
    QByteArray bytes = line(now_(), score, lines, playtime, names) + "\r\n";
    QFile file(path_);
    if (file.open(QIODevice::ReadWrite | QIODevice::Append)) {
        // A last line cut short (a crash while writing) must not swallow this one.
        char last = '\n';
        if (file.size() > 0 && file.seek(file.size() - 1) && file.getChar(&last) && last != '\n') {
            bytes.prepend("\r\n");
        }
    } else if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        return false;
    }
    const qint64 written = file.write(bytes);
    file.close();
    return written == bytes.size() && file.error() == QFileDevice::NoError;
}

HighscoreFile::Lists HighscoreFile::read() const {
    Lists lists;
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly)) {
        return lists;
    }
    while (!file.atEnd()) {
        QByteArray text = file.readLine(kMaxLineBytes + 1);
        // Lines end in "\r\n"; one that lost its "\r" (or its whole ending, at
        // the end of the file) must not lose checksum digits instead.
        if (text.endsWith('\n')) {
            text.chop(1);
        }
        if (text.endsWith('\r')) {
            text.chop(1);
        }
        const QList<QByteArray> fields = text.split(' ');
        if (fields.size() < kMinFields) {
            continue;
        }
        bool ok = false;
        const int count = fields.at(kCountField).toInt(&ok);
        if (!ok || count < 1 || count > kMaxPlayers || fields.size() <= count + 6) {
            continue;
        }
        QStringList names;
        for (int i = 0; i < count; ++i) {
            names.append(QString::fromUtf8(fields.at(kFirstName + i)));
        }
        auto result = std::make_unique<GameResult>(
            fields.at(1).toInt(), fields.at(2).toInt(), QString::fromUtf8(fields.at(3)),
            QString::fromUtf8(fields.at(0)), count, names.join(QLatin1Char(' ')),
            QString::fromUtf8(fields.constLast()));
        if (!result->valid()) {
            continue;
        }
        auto& list = lists[count - 1];
        // Behind every game with at least this score: equal scores keep file order.
        const auto at = std::find_if(list.begin(), list.end(), [&](const auto& other) {
            return other->score() < result->score();
        });
        list.insert(at, std::move(result));
    }
    return lists;
}
