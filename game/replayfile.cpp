#include "replayfile.h"

#include <QDir>
#include <QSaveFile>

#include <algorithm>
#include <limits>

#include "gamefield.h"
#include "gamesimulation.h"

namespace ReplayFile {

namespace {

constexpr char kMagic[] = "QRPL";
constexpr int kMaxColour = GameBlock::kColours - 1;
constexpr int kMaxRow = GameSimulation::kSpawnRow;
// Beyond any int counter: a change this large is damage either way.
constexpr qint64 kBigChange = qint64(1) << 33;
constexpr qint64 kMaxMs = qint64(1) << 40;  // 35 years

enum Tag : quint8 {
    kQuiet = 0x01,
    kBegin = 0x02,
    kPause = 0x03,
    kResume = 0x04,
    kJoin = 0x05,
    kLeave = 0x06,
    kEnd = 0x07,
    kAway = 0x08,
    kBack = 0x09,
    kKeys = 0x80,
};
constexpr int kLongGap = 7;      // the gap of a key tick that needs a varint
constexpr quint8 kByOne = 0x20;  // every key of the slot's byte rose by one

void putVarint(QByteArray& out, quint64 v) {
    while (v >= 0x80) {
        out.append(char((v & 0x7f) | 0x80));
        v >>= 7;
    }
    out.append(char(v));
}

void putSigned(QByteArray& out, qint64 v) {
    putVarint(out, (quint64(v) << 1) ^ quint64(v >> 63));
}

void putText(QByteArray& out, const QString& text) {
    // Cut on a character boundary, so the reader takes back what it was given.
    QString kept = text;
    while (kept.toUtf8().size() > kMaxTextBytes) {
        kept.chop(1);
    }
    const QByteArray utf8 = kept.toUtf8();
    putVarint(out, quint64(utf8.size()));
    out.append(utf8);
}

// Reads from a byte array; the first failure sticks and every later read
// gives 0.
class Cursor {
public:
    // base: where bytes start in the file, for the messages.
    Cursor(const QByteArray& bytes, qsizetype pos, qsizetype base = 0)
        : bytes_(bytes), pos_(pos), base_(base) {}

    bool ok() const { return error_.isEmpty(); }
    const QString& error() const { return error_; }
    qsizetype pos() const { return pos_; }
    bool atEnd() const { return pos_ >= bytes_.size(); }
    void fail(const QString& why) {
        if (error_.isEmpty()) {
            error_ = QStringLiteral("%1 at byte %2").arg(why).arg(base_ + pos_);
        }
    }

    quint8 byte() {
        if (!ok() || atEnd()) {
            fail(QStringLiteral("file ends early"));
            return 0;
        }
        return quint8(bytes_[pos_++]);
    }
    quint64 varint() {
        quint64 v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            const quint8 b = byte();
            v |= quint64(b & 0x7f) << shift;
            if (!(b & 0x80)) {
                return ok() ? v : 0;
            }
        }
        fail(QStringLiteral("number too long"));
        return 0;
    }
    qint64 signedValue() {
        const quint64 z = varint();
        return qint64(z >> 1) ^ -qint64(z & 1);
    }
    // A clock reading: far beyond any game, but never so far that play
    // times summed from them overflow.
    qint64 ms() {
        const qint64 v = signedValue();
        if (v < -kMaxMs || v > kMaxMs) {
            fail(QStringLiteral("time out of range"));
            return 0;
        }
        return v;
    }
    // A varint no greater than max.
    int bounded(quint64 max, const char* what) {
        const quint64 v = varint();
        if (v > max) {
            fail(QStringLiteral("%1 out of range").arg(QLatin1String(what)));
            return 0;
        }
        return int(v);
    }
    QString text() {
        const int n = bounded(kMaxTextBytes, "text length");
        if (!ok() || bytes_.size() - pos_ < n) {
            fail(QStringLiteral("file ends early"));
            return {};
        }
        const QString s = QString::fromUtf8(bytes_.constData() + pos_, n);
        pos_ += n;
        return s;
    }

private:
    const QByteArray& bytes_;
    qsizetype pos_;
    qsizetype base_;
    QString error_;
};

Seat readSeat(Cursor& in, int columns, bool withRow) {
    Seat s;
    s.slot = in.byte();
    if (s.slot >= kSlots) {
        in.fail(QStringLiteral("slot out of range"));
    }
    s.name = in.text();
    s.colour = in.bounded(kMaxColour, "colour");
    s.spawnColumn = in.bounded(quint64(columns - 1), "spawn column");
    s.spawnRow = withRow ? in.bounded(kMaxRow, "spawn row") : 0;
    const quint8 computer = in.byte();
    if (computer > 1) {
        in.fail(QStringLiteral("bad computer flag"));
    }
    s.computer = computer == 1;
    return s;
}

void putSeat(QByteArray& out, const Seat& s, bool withRow) {
    out.append(char(s.slot));
    putText(out, s.name);
    putVarint(out, quint64(s.colour));
    putVarint(out, quint64(s.spawnColumn));
    if (withRow) {
        putVarint(out, quint64(s.spawnRow));
    }
    out.append(char(s.computer ? 1 : 0));
}

}  // namespace

// --- reading ------------------------------------------------------------------

Steps::Steps(const Replay& replay) : Steps(replay.records, replay.columns, 0) {}

Steps::Steps(const QByteArray& records, int columns, qsizetype base)
    : records_(records), columns_(columns), base_(base) {}

bool Steps::next(Step& step) {
    if (!error_.isEmpty() || pos_ >= records_.size()) {
        return false;
    }
    Cursor in(records_, pos_, base_);
    step = Step{};
    const quint8 tag = in.byte();
    if ((tag & kKeys) && (tag & 0x0f)) {
        step.kind = Step::Kind::Keys;
        const int gap = (tag >> 4) & 0x07;
        step.value = gap < kLongGap ? gap : qint64(in.bounded(quint64(kMaxTicks), "ticks"));
        step.changed = tag & 0x0f;
        for (int slot = 0; slot < kSlots && in.ok(); ++slot) {
            if (!(step.changed & (1 << slot))) {
                continue;
            }
            const quint8 keys = in.byte();
            const int changedKeys = keys & ~kByOne;
            if (changedKeys == 0 || changedKeys >= (1 << kKeySlots)) {
                in.fail(QStringLiteral("bad key bits"));
            }
            for (int k = 0; k < kKeySlots && in.ok(); ++k) {
                if (changedKeys & (1 << k)) {
                    const qint64 change = (keys & kByOne) ? 1 : in.signedValue();
                    const qint64 v =
                        qint64(keys_[slot][k]) + std::clamp(change, -kBigChange, kBigChange);
                    if (v < std::numeric_limits<int>::min() ||
                        v > std::numeric_limits<int>::max()) {
                        in.fail(QStringLiteral("key counter out of range"));
                    }
                    keys_[slot][k] = int(v);
                }
            }
        }
        step.keys = keys_;
    } else if (tag == kQuiet) {
        step.kind = Step::Kind::Ticks;
        step.value = qint64(in.bounded(quint64(kMaxTicks), "ticks"));
        if (in.ok() && step.value == 0) {
            in.fail(QStringLiteral("empty run of ticks"));
        }
    } else if (tag == kBegin || tag == kPause || tag == kResume) {
        step.kind = tag == kBegin   ? Step::Kind::Begin
                    : tag == kPause ? Step::Kind::Pause
                                    : Step::Kind::Resume;
        step.value = in.ms();
    } else if (tag == kJoin) {
        step.kind = Step::Kind::Join;
        step.seat = readSeat(in, columns_, false);
        keys_[std::size_t(step.seat.slot % kSlots)] = {};
    } else if (tag == kLeave || tag == kAway || tag == kBack) {
        step.kind = tag == kLeave  ? Step::Kind::Leave
                    : tag == kAway ? Step::Kind::Away
                                   : Step::Kind::Back;
        step.seat.slot = in.byte();
        if (step.seat.slot >= kSlots) {
            in.fail(QStringLiteral("slot out of range"));
        }
        keys_[std::size_t(step.seat.slot % kSlots)] = {};
    } else {
        in.fail(QStringLiteral("unknown record %1").arg(tag));
    }
    if (!in.ok()) {
        error_ = in.error();
        return false;
    }
    pos_ = in.pos();
    return true;
}

ReadResult read(const QByteArray& bytes) {
    const auto refuse = [](const QString& why) { return ReadResult{std::nullopt, why}; };
    if (bytes.size() > kMaxBytes) {
        return refuse(QStringLiteral("file larger than %1 bytes").arg(kMaxBytes));
    }
    if (!bytes.startsWith(kMagic)) {
        return refuse(QStringLiteral("not a replay file"));
    }
    Cursor in(bytes, 4);
    const int version = in.byte();
    if (in.ok() && version != kVersion) {
        return refuse(
            QStringLiteral("replay version %1, this program reads %2").arg(version).arg(kVersion));
    }
    Replay r;
    r.columns = in.bounded(48, "field columns");
    if (in.ok() && !GameField::isValidWidth(r.columns)) {
        in.fail(QStringLiteral("field width %1").arg(r.columns));
    }
    for (int i = 0; i < 4; ++i) {
        r.seed |= std::uint32_t(in.byte()) << (8 * i);
    }
    r.ticks = in.bounded(quint64(kMaxTicks), "tick count");
    const int players = in.byte();
    if (players > kSlots) {
        in.fail(QStringLiteral("%1 players").arg(players));
    }
    for (int i = 0; i < players && in.ok(); ++i) {
        r.seats << readSeat(in, r.columns, true);
        for (int j = 0; j < i; ++j) {
            if (r.seats[j].slot == r.seats[i].slot) {
                in.fail(QStringLiteral("slot %1 twice").arg(r.seats[i].slot));
            }
        }
    }
    if (!in.ok()) {
        return refuse(in.error());
    }

    // Walks the records to the end record, counting ticks.
    const qsizetype start = in.pos();
    qint64 ticks = 0;
    Steps walk(bytes.mid(start), r.columns, start);
    Step step;
    while (walk.pos_ < walk.records_.size() && quint8(walk.records_[walk.pos_]) != kEnd) {
        if (!walk.next(step)) {
            return refuse(walk.error());
        }
        ticks += step.kind == Step::Kind::Ticks  ? step.value
                 : step.kind == Step::Kind::Keys ? step.value + 1
                                                 : 0;
        if (ticks > r.ticks) {
            return refuse(QStringLiteral("more ticks than the %1 declared").arg(r.ticks));
        }
    }
    const qsizetype end = start + walk.pos_;
    if (end >= bytes.size()) {
        return refuse(QStringLiteral("no end record"));
    }
    if (ticks != r.ticks) {
        return refuse(QStringLiteral("%1 ticks, %2 declared").arg(ticks).arg(r.ticks));
    }
    Cursor tail(bytes, end + 1);
    r.result.score = tail.bounded(quint64(std::numeric_limits<int>::max()), "score");
    r.result.lines = tail.bounded(quint64(std::numeric_limits<int>::max()), "lines");
    r.result.playtime = tail.text();
    r.endMs = tail.ms();
    if (!tail.ok()) {
        return refuse(tail.error());
    }
    if (!tail.atEnd()) {
        return refuse(QStringLiteral("bytes after the end record"));
    }
    r.records = bytes.mid(start, end - start);
    return {std::move(r), {}};
}

// --- writing ------------------------------------------------------------------

Writer::Writer(int columns, std::uint32_t seed, const QList<Seat>& seats)
    : columns_(columns), seed_(seed), seats_(seats) {}

void Writer::flushQuiet() {
    if (quiet_ > 0) {
        records_.append(char(kQuiet));
        putVarint(records_, quint64(quiet_));
        quiet_ = 0;
    }
}

void Writer::tick(const std::array<std::optional<KeyCounts>, kSlots>& keys) {
    ++ticks_;
    int changed = 0;
    std::array<int, kSlots> keyBits{};
    for (int slot = 0; slot < kSlots; ++slot) {
        if (!keys[slot]) {
            continue;
        }
        for (int k = 0; k < kKeySlots; ++k) {
            if ((*keys[slot])[k] != keys_[slot][k]) {
                keyBits[slot] |= 1 << k;
            }
        }
        changed |= keyBits[slot] ? 1 << slot : 0;
    }
    if (changed == 0) {
        ++quiet_;
        return;
    }
    const bool longGap = quiet_ >= kLongGap;
    records_.append(char(kKeys | (longGap ? kLongGap : quiet_) << 4 | changed));
    if (longGap) {
        putVarint(records_, quint64(quiet_));
    }
    quiet_ = 0;
    for (int slot = 0; slot < kSlots; ++slot) {
        if (!keyBits[slot]) {
            continue;
        }
        bool byOne = true;
        for (int k = 0; k < kKeySlots; ++k) {
            byOne = byOne &&
                    (!(keyBits[slot] & (1 << k)) || qint64((*keys[slot])[k]) - keys_[slot][k] == 1);
        }
        records_.append(char(keyBits[slot] | (byOne ? kByOne : 0)));
        for (int k = 0; k < kKeySlots && !byOne; ++k) {
            if (keyBits[slot] & (1 << k)) {
                putSigned(records_, qint64((*keys[slot])[k]) - keys_[slot][k]);
            }
        }
        keys_[slot] = *keys[slot];
    }
}

void Writer::begin(qint64 ms) {
    flushQuiet();
    records_.append(char(kBegin));
    putSigned(records_, ms);
}

void Writer::pause(bool paused, qint64 ms) {
    flushQuiet();
    records_.append(char(paused ? kPause : kResume));
    putSigned(records_, ms);
}

void Writer::join(const Seat& seat) {
    flushQuiet();
    records_.append(char(kJoin));
    putSeat(records_, seat, false);
    keys_[std::size_t(seat.slot)] = {};
}

void Writer::leave(int slot) {
    flushQuiet();
    records_.append(char(kLeave));
    records_.append(char(slot));
    keys_[std::size_t(slot)] = {};
}

void Writer::away(int slot, bool away) {
    flushQuiet();
    records_.append(char(away ? kAway : kBack));
    records_.append(char(slot));
    keys_[std::size_t(slot)] = {};
}

QByteArray Writer::finish(const Result& result, qint64 endMs) {
    flushQuiet();
    QByteArray out(kMagic);
    out.append(char(kVersion));
    putVarint(out, quint64(columns_));
    for (int i = 0; i < 4; ++i) {
        out.append(char((seed_ >> (8 * i)) & 0xff));
    }
    putVarint(out, quint64(ticks_));
    out.append(char(seats_.size()));
    for (const Seat& s : seats_) {
        putSeat(out, s, true);
    }
    out.append(records_);
    out.append(char(kEnd));
    putVarint(out, quint64(std::max(result.score, 0)));
    putVarint(out, quint64(std::max(result.lines, 0)));
    putText(out, result.playtime);
    putSigned(out, endMs);
    return out;
}

QString store(const QString& folder, const QByteArray& bytes, int score, const QDateTime& when,
              QString* error) {
    const QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("."))) {
        if (error) {
            *error = QStringLiteral("cannot create the replay folder %1").arg(folder);
        }
        return {};
    }
    const QString stem = QStringLiteral("%1-score%2")
                             .arg(when.toString(QStringLiteral("yyyy-MM-dd-HHmm")))
                             .arg(score);
    // Two games of one minute with one score still get a file each.
    QString name = stem + QStringLiteral(".qrpl");
    for (int n = 2; dir.exists(name); ++n) {
        name = QStringLiteral("%1-%2.qrpl").arg(stem).arg(n);
    }
    QSaveFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error) {
            *error = QStringLiteral("cannot keep the replay %1: %2")
                         .arg(file.fileName(), file.errorString());
        }
        return {};
    }
    return file.fileName();
}

}  // namespace ReplayFile
