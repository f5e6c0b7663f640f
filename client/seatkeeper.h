#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

// What brings a client back into its seat after a drop: the way it came in,
// its client id and the token its server gave. Kept in memory and in a file,
// so that a program killed and started again comes back too; the file says
// until when it was alive, and a seat older than the grace period is not
// tried.
//
// While rejoining, the keeper paces the attempts and says when the server
// no longer waits.
class SeatKeeper : public QObject {
    Q_OBJECT

public:
    struct Seat {
        QString way;  // as the player gave it: an address, a host name or an invite code
        int clientId = -1;
        int players = 1;
        QString token;
    };
    // How long a server waits for a dropped player, and how often the file
    // says the seat is alive and attempts follow each other.
    static constexpr int kGraceMs = 60000;
    static constexpr int kAliveMs = 5000;
    static constexpr int kRetryMs = 1000;
    // A server pings every second and lets a silent player go after three:
    // in a game, this long without a word from it means the seat is waiting.
    static constexpr int kSilentServerMs = 4000;

    // file: where the seat is kept (empty: memory only); nowMs: wall clock, ms since the epoch.
    SeatKeeper(QString file, std::function<qint64()> nowMs, QObject* parent = nullptr);
    ~SeatKeeper() override;

    // The server gave this seat a token: kept, and written to the file.
    void keep(const Seat& seat);
    // Left on purpose, or the seat is gone: the file goes too.
    void forget();
    const std::optional<Seat>& seat() const { return seat_; }
    // A seat the file holds that its server may still keep; it becomes the
    // kept one, with the time left counted from when the file was last alive.
    bool restore();

    // A drop: attempts may follow until the server gives the seat up.
    void startRejoin();
    bool rejoining() const { return rejoining_; }
    bool expired() const;
    // The next attempt, kRetryMs from now (retry).
    void retryLater();
    // Back in the seat, or given up.
    void stopRejoin();

Q_SIGNALS:
    void retry();

private:
    void writeFile() const;

    QString file_;
    std::function<qint64()> nowMs_;
    std::optional<Seat> seat_;
    bool rejoining_ = false;
    qint64 deadlineMs_ = 0;
    qint64 aliveMs_ = -1;  // from the file: when the restored seat was last alive
    QTimer aliveTimer_;
    QTimer retryTimer_;
};
