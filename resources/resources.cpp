#include "resources.h"

#include <QFontDatabase>
#include <QStringList>

namespace Resources {

QString fontFamily() {
    static const QString family = [] {
        QString name;
        for (const char* file : {":/fonts/DejaVuSans.ttf", ":/fonts/DejaVuSans-Bold.ttf"}) {
            const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(file));
            const QStringList families = QFontDatabase::applicationFontFamilies(id);
            if (name.isEmpty() && !families.isEmpty()) {
                name = families.first();
            }
        }
        return name;
    }();
    return family;
}

}  // namespace Resources
