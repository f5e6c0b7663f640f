#include "messagedecoder.h"

#include <algorithm>
#include <cstring>

#include "network/payloadcodec.h"

namespace {

// "CPLR" and a space: no type word is longer.
constexpr qsizetype kMaxTypeWord = 5;
// "1024000" and a space.
constexpr qsizetype kMaxLengthWord = 8;

qsizetype findSpace(QByteArrayView data, qsizetype from, qsizetype limit) {
    const qsizetype end = std::min(data.size(), from + limit);
    const void* hit = std::memchr(data.data() + from, ' ', static_cast<std::size_t>(end - from));
    return hit == nullptr ? -1 : static_cast<const char*>(hit) - data.data();
}

bool isCodePrefix(QByteArrayView partial) {
    for (const QString& code : ConnectionMessage::codes()) {
        if (partial.size() <= code.size()) {
            bool match = true;
            for (qsizetype i = 0; i < partial.size() && match; ++i) {
                match = code[i].toLatin1() == partial[i];
            }
            if (match) {
                return true;
            }
        }
    }
    return false;
}

bool allDigits(QByteArrayView word) {
    for (char c : word) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

ConnectionMessage decodeBody(int type, QByteArrayView body) {
    const qsizetype space = findSpace(body, 0, body.size());
    const QByteArrayView numberWord = space < 0 ? body : body.first(space);
    const QByteArrayView content = space < 0 ? QByteArrayView() : body.sliced(space + 1);
    int number = ConnectionMessage::kNoNumber;
    if (!numberWord.isEmpty() && numberWord[0] == 'S') {
        number = PayloadCodec::toInt(QLatin1StringView(numberWord.sliced(1)));
        // "S-5" numbers nothing; keep one spelling for "no number".
        number = std::max(number, int(ConnectionMessage::kNoNumber));
    }
    return ConnectionMessage(ConnectionMessage::codes()[static_cast<std::size_t>(type)],
                             QString::fromUtf8(content), number);
}

}  // namespace

void MessageDecoder::reset() {
    failed_ = false;
    type_ = -1;
    length_ = 0;
    buffer_.clear();
}

void MessageDecoder::feed(QByteArrayView bytes, QList<ConnectionMessage>& out) {
    if (mode_ == Mode::Datagram) {
        // A fresh start for every datagram: a forged or cut datagram cannot
        // disturb the next one, whoever sent it.
        type_ = -1;
        length_ = 0;
        qsizetype pos = 0;
        parse(bytes, pos, out);
        type_ = -1;
        length_ = 0;
        return;
    }
    if (failed_ || bytes.isEmpty()) {
        return;
    }
    if (buffer_.isEmpty()) {
        // Common case: no leftover, decode straight from the read and keep
        // only an unfinished tail.
        qsizetype pos = 0;
        if (parse(bytes, pos, out) == Result::Failed) {
            failed_ = true;
            return;
        }
        buffer_ = bytes.sliced(pos).toByteArray();
        return;
    }
    buffer_.append(bytes);
    qsizetype pos = 0;
    const Result result = parse(buffer_, pos, out);
    if (result == Result::Failed) {
        failed_ = true;
        buffer_.clear();
        return;
    }
    // Drop what was consumed; an unfinished message stays at the front and is
    // not moved again until it completes.
    if (pos == buffer_.size()) {
        buffer_.clear();
    } else if (pos > 0) {
        buffer_.remove(0, pos);
    }
}

MessageDecoder::Result MessageDecoder::parse(QByteArrayView data, qsizetype& pos,
                                             QList<ConnectionMessage>& out) {
    while (pos < data.size()) {
        if (type_ < 0) {
            const qsizetype space = findSpace(data, pos, kMaxTypeWord);
            if (space < 0) {
                const QByteArrayView partial = data.sliced(pos);
                if (partial.size() >= kMaxTypeWord || !isCodePrefix(partial)) {
                    return Result::Failed;
                }
                return Result::NeedMore;
            }
            type_ = ConnectionMessage::codeIndex(data.sliced(pos, space - pos));
            if (type_ < 0) {
                return Result::Failed;
            }
            pos = space + 1;
            continue;
        }
        if (length_ == 0) {
            const qsizetype space = findSpace(data, pos, kMaxLengthWord);
            if (space < 0) {
                const QByteArrayView partial = data.sliced(pos);
                if (partial.size() >= kMaxLengthWord || !allDigits(partial)) {
                    return Result::Failed;
                }
                return Result::NeedMore;
            }
            const QByteArrayView word = data.sliced(pos, space - pos);
            if (word.isEmpty() || !allDigits(word)) {
                return Result::Failed;
            }
            const qsizetype length = PayloadCodec::toInt(QLatin1StringView(word));
            if (length <= 0 || length > kMaxBodyBytes) {
                return Result::Failed;
            }
            length_ = length;
            pos = space + 1;
            continue;
        }
        if (data.size() - pos < length_) {
            return Result::NeedMore;
        }
        out.append(decodeBody(type_, data.sliced(pos, length_)));
        pos += length_;
        type_ = -1;
        length_ = 0;
    }
    return type_ >= 0 ? Result::NeedMore : Result::Done;
}
