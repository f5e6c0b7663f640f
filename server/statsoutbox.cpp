#include "statsoutbox.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "game/replayfile.h"

namespace {

constexpr char kHeader[] =
    "# Ranked game reports the stats service has not taken yet; sent again on start.\n";
// Far beyond any report: four names of at most 64 characters, percent-encoded.
constexpr qsizetype kLongestReport = 4096;
constexpr char kReplayLine[] = "#replay ";

}  // namespace

StatsOutbox::StatsOutbox(const QString& path) : path_(path) {}

StatsOutbox::~StatsOutbox() = default;

std::optional<StatsOutbox::Reports> StatsOutbox::open() {
    auto lock = std::make_unique<QLockFile>(path_ + QStringLiteral(".lock"));
    lock->setStaleLockTime(0);  // a lock is stale only when its process is gone
    if (!lock->tryLock(0)) {
        error_ = lock->error() == QLockFile::LockFailedError
                     ? QStringLiteral("'%1' is in use by another server").arg(path_)
                     : QStringLiteral("cannot create a lock file beside '%1'").arg(path_);
        return std::nullopt;
    }
    QFile file(path_);
    Reports reports;
    if (QFileInfo::exists(path_)) {
        if (!file.open(QIODevice::ReadOnly) || QFileInfo(path_).isDir()) {
            error_ =
                QStringLiteral("cannot read '%1': %2")
                    .arg(path_, file.error() == QFileDevice::NoError ? QStringLiteral("not a file")
                                                                     : file.errorString());
            return std::nullopt;
        }
        reports = parse(file.readAll());
    }
    lock_ = std::move(lock);
    open_ = true;
    return reports;
}

bool StatsOutbox::save(const Reports& reports) {
    if (!open_) {
        return false;
    }
    if (reports.isEmpty()) {
        if (QFile::exists(path_) && !QFile::remove(path_)) {
            error_ = QStringLiteral("cannot remove '%1'").arg(path_);
            return false;
        }
        return true;
    }
    QSaveFile file(path_);
    QByteArray content(kHeader);
    for (const Report& r : reports) {
        content += r.query + '\n';
        if (!r.replay.isEmpty()) {
            content += kReplayLine + r.replay.toBase64() + '\n';
        }
    }
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() ||
        !file.commit()) {
        error_ = QStringLiteral("cannot write '%1': %2").arg(path_, file.errorString());
        return false;
    }
    return true;
}

StatsOutbox::Reports StatsOutbox::parse(const QByteArray& content) {
    Reports reports;
    bool replayMayFollow = false;
    for (const QByteArray& raw : content.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith(kReplayLine)) {
            const auto bytes =
                QByteArray::fromBase64Encoding(line.mid(qsizetype(sizeof kReplayLine) - 1),
                                               QByteArray::AbortOnBase64DecodingErrors);
            if (replayMayFollow && bytes && !bytes.decoded.isEmpty() &&
                bytes.decoded.size() <= ReplayFile::kMaxBytes) {
                reports.last().replay = bytes.decoded;
            }
            replayMayFollow = false;
            continue;
        }
        replayMayFollow = false;
        const bool plain =
            std::all_of(line.begin(), line.end(), [](char c) { return c > ' ' && c < 0x7f; });
        const bool known = std::any_of(reports.begin(), reports.end(),
                                       [&](const Report& r) { return r.query == line; });
        if (line.isEmpty() || line.startsWith('#') || line.size() > kLongestReport || !plain ||
            known) {
            continue;
        }
        reports.append({line, {}});
        replayMayFollow = true;
    }
    return reports;
}
