#include "playernames.h"

namespace PlayerNames {

QString sanitisedToken(const QString& token, int maxLength) {
    QString out;
    out.reserve(std::min<qsizetype>(token.size(), maxLength));
    for (const QChar c : token) {
        if (out.size() >= maxLength) {
            break;
        }
        out.append(c.isSpace() || c.category() == QChar::Other_Control ? QChar(u'_') : c);
    }
    // Never leave half of a surrogate pair at the cut.
    if (!out.isEmpty() && out.back().isHighSurrogate()) {
        out.chop(1);
    }
    return out;
}

QString sanitised(const QString& name, const QString& fallback) {
    const QString out = sanitisedToken(name.trimmed(), kMaxLength);
    return out.isEmpty() ? fallback : out;
}

QString sanitisedServerName(const QString& name) {
    QString out = name;
    for (QChar& c : out) {
        if (c.category() == QChar::Other_Control || (c.isSpace() && c != QChar(u' '))) {
            c = QChar(u' ');
        }
    }
    return out.trimmed();
}

}  // namespace PlayerNames
