#include "client/seatkeeper.h"

#include <QDateTime>
#include <QFile>
#include <QSettings>

#include "network/payloadcodec.h"

namespace {

const QString kGroup = QStringLiteral("Seat/");

}  // namespace

SeatKeeper::SeatKeeper(QString file, std::function<qint64()> nowMs, QObject* parent)
    : QObject(parent), file_(std::move(file)), nowMs_(std::move(nowMs)) {
    if (!nowMs_) {
        nowMs_ = [] { return QDateTime::currentMSecsSinceEpoch(); };
    }
    aliveTimer_.setInterval(kAliveMs);
    connect(&aliveTimer_, &QTimer::timeout, this, [this] { writeFile(); });
    retryTimer_.setSingleShot(true);
    retryTimer_.setInterval(kRetryMs);
    connect(&retryTimer_, &QTimer::timeout, this, &SeatKeeper::retry);
}

SeatKeeper::~SeatKeeper() = default;

void SeatKeeper::keep(const Seat& seat) {
    seat_ = seat;
    aliveMs_ = -1;
    writeFile();
    aliveTimer_.start();
}

void SeatKeeper::forget() {
    stopRejoin();
    seat_.reset();
    aliveTimer_.stop();
    if (!file_.isEmpty()) {
        QFile::remove(file_);
    }
}

void SeatKeeper::writeFile() const {
    // While rejoining the file keeps the time of the drop.
    if (file_.isEmpty() || !seat_ || rejoining_) {
        return;
    }
    QSettings ini(file_, QSettings::IniFormat);
    ini.setValue(kGroup + QStringLiteral("Way"), seat_->way);
    ini.setValue(kGroup + QStringLiteral("ClientId"), seat_->clientId);
    ini.setValue(kGroup + QStringLiteral("Players"), seat_->players);
    ini.setValue(kGroup + QStringLiteral("Token"), seat_->token);
    ini.setValue(kGroup + QStringLiteral("Alive"), nowMs_());
}

bool SeatKeeper::restore() {
    if (file_.isEmpty() || !QFile::exists(file_)) {
        return false;
    }
    const QSettings ini(file_, QSettings::IniFormat);
    bool ok[3] = {};
    Seat seat{ini.value(kGroup + QStringLiteral("Way")).toString(),
              ini.value(kGroup + QStringLiteral("ClientId")).toInt(&ok[0]),
              ini.value(kGroup + QStringLiteral("Players")).toInt(&ok[1]),
              ini.value(kGroup + QStringLiteral("Token")).toString()};
    const qint64 alive = ini.value(kGroup + QStringLiteral("Alive")).toLongLong(&ok[2]);
    const qint64 age = nowMs_() - alive;
    const bool valid = ok[0] && ok[1] && ok[2] && !seat.way.isEmpty() && seat.clientId >= 0 &&
                       seat.clientId < 4 && seat.players >= 1 && seat.players <= 2 &&
                       PayloadCodec::isSeatToken(seat.token) && age >= 0 &&
                       age <= kGraceMs + kAliveMs;
    if (!valid) {
        return false;
    }
    seat_ = seat;
    aliveMs_ = alive;
    return true;
}

void SeatKeeper::startRejoin() {
    if (!seat_) {
        return;
    }
    // Killed, the program could not say when: the file's last word is the drop.
    deadlineMs_ = (aliveMs_ >= 0 ? aliveMs_ + kAliveMs : nowMs_()) + kGraceMs;
    writeFile();
    rejoining_ = true;
    aliveTimer_.stop();
}

bool SeatKeeper::expired() const {
    return nowMs_() > deadlineMs_;
}

void SeatKeeper::retryLater() {
    retryTimer_.start();
}

void SeatKeeper::stopRejoin() {
    rejoining_ = false;
    retryTimer_.stop();
    aliveMs_ = -1;
    if (seat_) {
        writeFile();
        aliveTimer_.start();
    }
}
