#include "invitecode.h"

#include <QMessageAuthenticationCode>

namespace InviteCode {

namespace {

bool inAlphabet(QChar c) {
    return QLatin1StringView(kAlphabet).contains(c);
}

QString randomDigits(const std::function<quint32()>& random, QLatin1StringView digits, int count) {
    QString out;
    out.reserve(count);
    for (int i = 0; i < count; ++i) {
        // 32 and 16 divide 2^32: no digit is likelier than another.
        out += QChar(digits[random() % quint32(digits.size())]);
    }
    return out;
}

}  // namespace

std::optional<QString> parse(const QString& text) {
    QString code = text.trimmed().toUpper();
    if (code.startsWith(QLatin1StringView(kLinkPrefix), Qt::CaseInsensitive)) {
        code.remove(0, qsizetype(sizeof(kLinkPrefix) - 1));
        if (code.endsWith(u'/')) {
            code.chop(1);
        }
    }
    if (code.size() == kLength + 1 && code[kLength / 2] == u'-') {
        code.remove(kLength / 2, 1);
    }
    if (code.size() != kLength) {
        return std::nullopt;
    }
    for (QChar c : code) {
        if (!inAlphabet(c)) {
            return std::nullopt;
        }
    }
    return code;
}

std::optional<QString> fromJoinText(const QString& text) {
    const QString t = text.trimmed();
    const bool link = t.startsWith(QLatin1StringView(kLinkPrefix), Qt::CaseInsensitive);
    const bool dashed = t.size() == kLength + 1 && t[kLength / 2] == u'-';
    const bool capitals = t.size() == kLength && t.toUpper() == t;
    if (!link && !dashed && !capitals) {
        return std::nullopt;
    }
    return parse(t);
}

QString display(const QString& code) {
    if (code.size() != kLength) {
        return code;
    }
    return code.left(kLength / 2) + u'-' + code.mid(kLength / 2);
}

QString draw(const std::function<quint32()>& random) {
    return randomDigits(random, QLatin1StringView(kAlphabet), kLength);
}

QString drawNonce(const std::function<quint32()>& random) {
    return randomDigits(random, QLatin1StringView("0123456789abcdef"), 16);
}

bool isNonce(QStringView token) {
    if (token.size() != 16) {
        return false;
    }
    for (QChar c : token) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'))) {
            return false;
        }
    }
    return true;
}

QString proof(const QString& code, const QString& nonce, const QString& content) {
    const QByteArray mac = QMessageAuthenticationCode::hash(
        (nonce + u' ' + content).toUtf8(), code.toUtf8(), QCryptographicHash::Sha256);
    return QString::fromLatin1(mac.left(16).toHex());
}

}  // namespace InviteCode
