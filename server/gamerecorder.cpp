#include "gamerecorder.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QSaveFile>

#include "serverlog.h"

GameRecorder::GameRecorder(RandomSource& seeds, const Clock& clock, QString folder, Now now)
    : seeds_(seeds), tap_(clock), folder_(std::move(folder)), now_(std::move(now)) {
    if (!now_) {
        now_ = [] { return QDateTime::currentDateTime(); };
    }
}

namespace {

ReplayFile::Seat seatOf(const GamePlayer& p, int slot, bool computer) {
    return {slot, p.name(), p.colour(), p.spawnColumn(), p.spawnRow(), computer};
}

}  // namespace

void GameRecorder::start(const GameSimulation& sim, int columns, const QList<int>& computers) {
    // Two draws: the source gives 31 bits at a time.
    const auto seed = (std::uint32_t(seeds_.next()) << 16) ^ std::uint32_t(seeds_.next());
    random_.seed(seed);
    QList<ReplayFile::Seat> seats;
    for (int slot = 0; slot < GameSimulation::kSlots; ++slot) {
        const GamePlayer* p = sim.player(slot);
        if (p && p->isInGame()) {
            seats << seatOf(*p, slot, computers.contains(p->connId()));
        }
    }
    writer_ = std::make_unique<ReplayFile::Writer>(columns, seed, seats);
    startMs_ = tap_.nowMs();
}

void GameRecorder::beginPlay() {
    if (writer_) {
        writer_->begin(sinceStart());
    }
}

void GameRecorder::paused(bool paused) {
    if (writer_) {
        writer_->pause(paused, sinceStart());
    }
}

void GameRecorder::tick(const GameSimulation& sim) {
    // A tick of a paused or ended game changes nothing.
    if (!writer_ || !sim.running() || sim.paused()) {
        return;
    }
    std::array<std::optional<KeyCounts>, ReplayFile::kSlots> keys;
    for (int slot = 0; slot < GameSimulation::kSlots; ++slot) {
        const GamePlayer* p = sim.player(slot);
        if (p && p->isInGame()) {
            keys[std::size_t(slot)] = p->keyCount();
        }
    }
    writer_->tick(keys);
}

void GameRecorder::joined(const GameSimulation& sim, int slot, bool computer) {
    if (const GamePlayer* p = sim.player(slot); writer_ && p) {
        writer_->join(seatOf(*p, slot, computer));
    }
}

void GameRecorder::left(int slot) {
    if (writer_) {
        writer_->leave(slot);
    }
}

void GameRecorder::away(int slot, bool away) {
    if (writer_) {
        writer_->away(slot, away);
    }
}

QByteArray GameRecorder::finish(int score, int lines, const QString& playtime) {
    if (!writer_) {
        return {};
    }
    last_ = writer_->finish({score, lines, playtime}, sinceStart());
    writer_.reset();
    lastFile_ = keep(last_, score);
    return last_;
}

QString GameRecorder::keep(const QByteArray& bytes, int score) const {
    if (folder_.isEmpty()) {
        return {};
    }
    QString error;
    const QString file = ReplayFile::store(folder_, bytes, score, now_(), &error);
    if (file.isEmpty()) {
        qCWarning(lcServer) << error;
    }
    return file;
}
