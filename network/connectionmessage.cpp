#include "connectionmessage.h"

#include <cstring>

namespace {

// Every code is 3 or 4 ASCII letters, so a word packs into one integer and the
// look-up costs a few compares instead of string work. The length sits above
// the bytes, so a 4-byte word can never pack like a 3-byte one.
constexpr quint64 pack(const char* text, std::size_t length) {
    quint64 value = static_cast<quint64>(length);
    for (std::size_t i = 0; i < length; ++i) {
        value = (value << 8) | static_cast<unsigned char>(text[i]);
    }
    return value;
}

constexpr std::array<quint64, ConnectionMessage::kCodeCount> packedCodes() {
    std::array<quint64, ConnectionMessage::kCodeCount> out{};
    for (std::size_t i = 0; i < MessageCodes::kRows.size(); ++i) {
        const std::string_view text = MessageCodes::kRows[i].text;
        out[i] = pack(text.data(), text.size());
    }
    return out;
}

constexpr auto kPackedCodes = packedCodes();

}  // namespace

ConnectionMessage::ConnectionMessage() : type(undefinedType()) {}

ConnectionMessage::ConnectionMessage(const QString& type, const QString& content, int number)
    : type(type), content(content), number(number) {}

ConnectionMessage::ConnectionMessage(MessageCode code, const QString& content, int number)
    : type(codeText(code)), content(content), number(number) {}

const std::array<QString, ConnectionMessage::kCodeCount>& ConnectionMessage::codes() {
    static const std::array<QString, kCodeCount> table = [] {
        std::array<QString, kCodeCount> out;
        for (std::size_t i = 0; i < MessageCodes::kRows.size(); ++i) {
            const std::string_view text = MessageCodes::kRows[i].text;
            out[i] = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
        }
        return out;
    }();
    return table;
}

const QString& ConnectionMessage::undefinedType() {
    static const QString undefined = QStringLiteral("Undefined");
    return undefined;
}

const QString& ConnectionMessage::codeText(MessageCode code) {
    return codes()[static_cast<std::size_t>(code)];
}

int ConnectionMessage::codeIndex(QByteArrayView word) {
    if (word.size() < 3 || word.size() > 4) {
        return -1;
    }
    const quint64 packed = pack(word.data(), static_cast<std::size_t>(word.size()));
    for (std::size_t i = 0; i < kPackedCodes.size(); ++i) {
        if (kPackedCodes[i] == packed) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int ConnectionMessage::codeIndex(const QString& type) {
    if (type.size() < 3 || type.size() > 4) {
        return -1;
    }
    char ascii[4];
    for (qsizetype i = 0; i < type.size(); ++i) {
        const char16_t c = type[i].unicode();
        if (c > 0x7f) {
            return -1;
        }
        ascii[i] = static_cast<char>(c);
    }
    return codeIndex(QByteArrayView(ascii, type.size()));
}

QByteArray ConnectionMessage::encode() const {
    QByteArray out;
    encodeTo(out);
    return out;
}

void ConnectionMessage::encodeTo(QByteArray& out) const {
    const QByteArray contentBytes = content.toUtf8();
    QByteArray numberWord;
    if (number >= 0) {
        numberWord = 'S' + QByteArray::number(number);
    } else {
        numberWord = "N";
    }
    const qsizetype bodyLength = numberWord.size() + 1 + contentBytes.size();
    out += type.toUtf8();
    out += ' ';
    out += QByteArray::number(bodyLength);
    out += ' ';
    out += numberWord;
    out += ' ';
    out += contentBytes;
}
