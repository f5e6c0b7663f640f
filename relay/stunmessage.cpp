#include "stunmessage.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <QtEndian>

namespace {

void appendU16(QByteArray& out, quint16 v) {
    out.append(static_cast<char>(v >> 8));
    out.append(static_cast<char>(v & 0xff));
}

void appendU32(QByteArray& out, quint32 v) {
    appendU16(out, static_cast<quint16>(v >> 16));
    appendU16(out, static_cast<quint16>(v & 0xffff));
}

quint16 u16(QByteArrayView b, qsizetype at) {
    return qFromBigEndian<quint16>(reinterpret_cast<const uchar*>(b.data()) + at);
}

quint32 u32(QByteArrayView b, qsizetype at) {
    return qFromBigEndian<quint32>(reinterpret_cast<const uchar*>(b.data()) + at);
}

void appendAttribute(QByteArray& out, quint16 type, const QByteArray& value) {
    appendU16(out, type);
    appendU16(out, static_cast<quint16>(value.size()));
    out.append(value);
    out.append(QByteArray((4 - value.size() % 4) % 4, '\0'));
}

void setLength(QByteArray& message, qsizetype bodySize) {
    message[2] = static_cast<char>((bodySize >> 8) & 0xff);
    message[3] = static_cast<char>(bodySize & 0xff);
}

// The bytes the address is xored with: the cookie, then the transaction id.
QByteArray xorMask(const QByteArray& transaction) {
    QByteArray mask;
    appendU32(mask, StunMessage::kMagicCookie);
    return mask + transaction;
}

}  // namespace

StunMessage StunMessage::make(quint16 method, quint16 kind) {
    StunMessage m;
    m.method = method;
    m.kind = kind;
    m.transaction.resize(12);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(m.transaction.data()), 3);
    return m;
}

void StunMessage::addNumber(quint16 type, quint32 value) {
    QByteArray v;
    appendU32(v, value);
    add(type, v);
}

void StunMessage::addAddress(quint16 type, const QHostAddress& address, quint16 port) {
    const QByteArray mask = xorMask(transaction);
    QByteArray v;
    bool v4 = false;
    const quint32 ip4 = address.toIPv4Address(&v4);
    appendU16(v, v4 ? 0x01 : 0x02);
    appendU16(v, port ^ static_cast<quint16>(kMagicCookie >> 16));
    QByteArray raw;
    if (v4) {
        appendU32(raw, ip4);
    } else {
        const Q_IPV6ADDR ip6 = address.toIPv6Address();
        raw = QByteArray(reinterpret_cast<const char*>(ip6.c), 16);
    }
    for (qsizetype i = 0; i < raw.size(); ++i) {
        raw[i] = static_cast<char>(raw[i] ^ mask[i]);
    }
    add(type, v + raw);
}

std::optional<QByteArray> StunMessage::value(quint16 type) const {
    for (const auto& [t, v] : attributes) {
        if (t == type) {
            return v;
        }
    }
    return std::nullopt;
}

std::optional<std::pair<QHostAddress, quint16>> StunMessage::address(quint16 type) const {
    const std::optional<QByteArray> v = value(type);
    if (!v || v->size() < 8) {
        return std::nullopt;
    }
    const quint16 family = u16(*v, 0);
    const qsizetype size = family == 0x01 ? 4 : (family == 0x02 ? 16 : 0);
    if (size == 0 || v->size() != 4 + size) {
        return std::nullopt;
    }
    const QByteArray mask = xorMask(transaction);
    QByteArray raw = v->mid(4);
    for (qsizetype i = 0; i < raw.size(); ++i) {
        raw[i] = static_cast<char>(raw[i] ^ mask[i]);
    }
    const auto port = static_cast<quint16>(u16(*v, 2) ^ (kMagicCookie >> 16));
    if (size == 4) {
        return std::pair{QHostAddress(u32(raw, 0)), port};
    }
    return std::pair{QHostAddress(reinterpret_cast<const quint8*>(raw.constData())), port};
}

std::optional<quint32> StunMessage::number(quint16 type) const {
    const std::optional<QByteArray> v = value(type);
    if (!v || v->size() != 4) {
        return std::nullopt;
    }
    return u32(*v, 0);
}

int StunMessage::errorCode() const {
    const std::optional<QByteArray> v = value(ErrorCode);
    if (!v || v->size() < 4) {
        return 0;
    }
    return (static_cast<uchar>(v->at(2)) & 0x07) * 100 + static_cast<uchar>(v->at(3)) % 100;
}

QString StunMessage::errorText() const {
    const std::optional<QByteArray> v = value(ErrorCode);
    const QString reason = v && v->size() > 4 ? QString::fromUtf8(v->mid(4)).left(128) : QString();
    return QString::number(errorCode()) + (reason.isEmpty() ? QString() : u' ' + reason);
}

QByteArray StunMessage::encode(const QByteArray& key) const {
    QByteArray out;
    appendU16(out, static_cast<quint16>((method & 0x000f) | ((method & 0x0070) << 1) |
                                        ((method & 0x0f80) << 2) | (kind & 0x0110)));
    appendU16(out, 0);
    appendU32(out, kMagicCookie);
    out.append(transaction.left(12).leftJustified(12, '\0'));
    for (const auto& [type, v] : attributes) {
        appendAttribute(out, type, v);
    }
    if (!key.isEmpty()) {
        // The length counts the integrity attribute itself.
        setLength(out, out.size() - kHeaderSize + 24);
        appendAttribute(out, MessageIntegrity,
                        QMessageAuthenticationCode::hash(out, key, QCryptographicHash::Sha1));
    }
    setLength(out, out.size() - kHeaderSize);
    return out;
}

qsizetype StunMessage::sizeOf(QByteArrayView start) {
    if (start.size() < 8) {
        return 0;
    }
    if ((static_cast<uchar>(start[0]) & 0xc0) != 0 || u32(start, 4) != kMagicCookie) {
        return -1;
    }
    const quint16 length = u16(start, 2);
    return length % 4 == 0 ? kHeaderSize + length : -1;
}

std::optional<StunMessage> StunMessage::parse(QByteArrayView bytes) {
    if (bytes.size() < kHeaderSize || sizeOf(bytes) != bytes.size()) {
        return std::nullopt;
    }
    const quint16 type = u16(bytes, 0);
    StunMessage m;
    m.kind = type & 0x0110;
    m.method =
        static_cast<quint16>((type & 0x000f) | ((type & 0x00e0) >> 1) | ((type & 0x3e00) >> 2));
    m.transaction = bytes.sliced(8, 12).toByteArray();
    qsizetype at = kHeaderSize;
    while (at < bytes.size()) {
        if (bytes.size() - at < 4 || m.attributes.size() >= kMaxAttributes) {
            return std::nullopt;
        }
        const quint16 t = u16(bytes, at);
        const quint16 length = u16(bytes, at + 2);
        const qsizetype padded = (length + 3) / 4 * 4;
        if (bytes.size() - at - 4 < padded) {
            return std::nullopt;
        }
        m.attributes.append({t, bytes.sliced(at + 4, length).toByteArray()});
        at += 4 + padded;
    }
    return m;
}

QByteArray stunLongTermKey(const QString& user, const QString& realm, const QString& password) {
    return QCryptographicHash::hash((user + u':' + realm + u':' + password).toUtf8(),
                                    QCryptographicHash::Md5);
}
