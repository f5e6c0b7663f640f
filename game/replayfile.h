#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include "keyinput.h"

// A game as the server carried it out, enough to play it again on a fresh
// simulation: who played where, the seed of the pieces, every tick's key
// counters, pauses, players coming and going, the clock readings the play
// time was measured by, and the result.
//
// Layout (little endian; "varint" is LEB128, "signed" a zigzag varint,
// "text" a varint byte count and that many bytes of UTF-8):
//   "QRPL", u8 version (1), varint field columns, u32 seed,
//   varint ticks (the whole game's), u8 players, per player:
//     u8 slot, text name, varint colour, varint spawn column,
//     varint spawn row, u8 computer (0 or 1)
//   then records, each opening with a tag byte:
//   0x80 | g << 4 | slots   one tick whose counters changed for the slots of
//         the low four bits, after g ticks without change (g 7: a varint
//         with their number follows); then per slot, lowest first, a key
//         byte: bits 0..4 the keys that changed, bit 5 set when each rose by
//         one, else a signed change per key, lowest key first
//   0x01  varint n: n ticks without change
//   0x02  signed ms: play begins (the start countdown ended)
//   0x03  signed ms: paused;  0x04  signed ms: resumed
//   0x05  a player takes over a slot in the running game: u8 slot, text
//         name, varint colour, varint spawn column, u8 computer
//   0x06  u8 slot: its player leaves the running game
//   0x07  the end, last in the file: varint score, varint lines, text play
//         time, signed ms of the last tick
//   0x08  u8 slot: its player's connection dropped; its piece waits where it is
//   0x09  u8 slot: its player is back, and its piece moves again
// Counters change against the slot's last recorded ones, which start at 0
// for every player at the start, on joining and on coming back. Times are ms since the
// game started, as the simulation's clock read them.
namespace ReplayFile {

inline constexpr int kVersion = 1;
inline constexpr int kSlots = 4;
// The longest file read, and the most ticks a replay may have: a day's.
inline constexpr qsizetype kMaxBytes = 4 * 1024 * 1024;
inline constexpr qint64 kMaxTicks = 24LL * 3600 * 50;
inline constexpr int kMaxTextBytes = 64;

struct Seat {
    int slot = 0;
    QString name;
    int colour = 0;
    int spawnColumn = 0;
    int spawnRow = 0;  // only at the start: a joiner's block appears at the top
    bool computer = false;
    friend bool operator==(const Seat&, const Seat&) = default;
};

struct Result {
    int score = 0;
    int lines = 0;
    QString playtime;
    friend bool operator==(const Result&, const Result&) = default;
};

// The file, read: everything but the records, which stay as bytes for Steps.
struct Replay {
    int columns = 0;
    std::uint32_t seed = 0;
    qint64 ticks = 0;
    QList<Seat> seats;
    Result result;
    qint64 endMs = 0;  // the clock at the last tick
    QByteArray records;
};

// What one record asks of the simulation.
struct Step {
    enum class Kind { Ticks, Keys, Begin, Pause, Resume, Join, Leave, Away, Back };
    Kind kind = Kind::Ticks;
    qint64 value = 0;  // Ticks: how many; Keys: ticks before; Begin, Pause, Resume: ms
    int changed = 0;   // Keys: bits of the slots whose counters changed
    std::array<KeyCounts, kSlots> keys{};  // Keys: every slot's counters for the tick
    Seat seat;                             // Join: the newcomer; Leave, Away, Back: its slot
};

struct ReadResult {
    std::optional<Replay> replay;
    QString error;  // why not, when there is none
};

// Checks the whole file: any bytes give a replay or an error.
ReadResult read(const QByteArray& bytes);

// Keeps a finished game's file in folder (made if missing), named after when
// and the score, "2026-12-11-1432-score12345.qrpl", with "-2", "-3", ... when
// the name is taken. Returns its path; empty with error set when it failed.
QString store(const QString& folder, const QByteArray& bytes, int score, const QDateTime& when,
              QString* error = nullptr);

// Walks the records of a replay that read() accepted.
class Steps {
public:
    explicit Steps(const Replay& replay);
    // False at the end, or with error() on damage.
    bool next(Step& step);
    const QString& error() const { return error_; }

private:
    friend ReadResult read(const QByteArray& bytes);
    Steps(const QByteArray& records, int columns, qsizetype base);

    QByteArray records_;
    int columns_;
    qsizetype base_ = 0;  // where the records start in the file
    qsizetype pos_ = 0;
    std::array<KeyCounts, kSlots> keys_{};
    QString error_;
};

// Builds a file as the game goes.
class Writer {
public:
    Writer(int columns, std::uint32_t seed, const QList<Seat>& seats);

    // The counters of every slot in the game before a tick; none for an
    // empty slot.
    void tick(const std::array<std::optional<KeyCounts>, kSlots>& keys);
    void begin(qint64 ms);
    void pause(bool paused, qint64 ms);
    void join(const Seat& seat);
    void leave(int slot);
    // The slot's player dropped and its piece waits; back: it plays on.
    void away(int slot, bool away);
    QByteArray finish(const Result& result, qint64 endMs);
    qint64 ticks() const { return ticks_; }

private:
    void flushQuiet();

    int columns_;
    std::uint32_t seed_;
    QList<Seat> seats_;
    QByteArray records_;
    std::array<KeyCounts, kSlots> keys_{};
    qint64 quiet_ = 0;  // ticks without change not yet written
    qint64 ticks_ = 0;
};

}  // namespace ReplayFile
