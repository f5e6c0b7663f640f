#include "playernames.h"

#include <algorithm>

namespace PlayerNames {

namespace {

bool isControl(QChar c) {
    return c.category() == QChar::Other_Control;
}

// The first maxLength characters of text, each one that keep refuses
// replaced; never half of a surrogate pair at the cut.
template <typename Keep>
QString filtered(const QString& text, int maxLength, QChar replacement, Keep keep) {
    QString out;
    out.reserve(std::min<qsizetype>(text.size(), maxLength));
    for (const QChar c : text) {
        if (out.size() >= maxLength) {
            break;
        }
        out.append(keep(c) ? c : replacement);
    }
    if (!out.isEmpty() && out.back().isHighSurrogate()) {
        out.chop(1);
    }
    return out;
}

}  // namespace

QString sanitisedToken(const QString& token, int maxLength) {
    return filtered(token, maxLength, QChar(u'_'),
                    [](QChar c) { return !c.isSpace() && !isControl(c); });
}

QString sanitised(const QString& name, const QString& fallback) {
    const QString out = sanitisedToken(name.trimmed(), kMaxLength);
    return out.isEmpty() ? fallback : out;
}

QString sanitisedServerName(const QString& name) {
    QString out = name;
    for (QChar& c : out) {
        if (isControl(c) || (c.isSpace() && c != QChar(u' '))) {
            c = QChar(u' ');
        }
    }
    return out.trimmed();
}

QString sanitisedChat(const QString& line) {
    return filtered(line, kMaxChatLength, QChar(u' '), [](QChar c) { return !isControl(c); });
}

}  // namespace PlayerNames
