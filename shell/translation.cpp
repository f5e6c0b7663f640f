#include "translation.h"

#include <QTranslator>

bool loadTranslation(QTranslator& translator, const QLocale& locale,
                     const QStringList& directories) {
    const QString name = QStringLiteral("quadrell_") + locale.name().left(2);
    for (const QString& directory : directories) {
        if (translator.load(name, directory)) {
            return true;
        }
    }
    return translator.load(name, QStringLiteral(":/i18n"));
}
