#include "translation.h"

#include <QTranslator>

bool loadTranslation(QTranslator& translator, const QLocale& locale, const QString& directory) {
    const QString name = QStringLiteral("quadrell_") + locale.name().left(2);
    return translator.load(name, directory) || translator.load(name, QStringLiteral(":/i18n"));
}
