#include "screenshotfiles.h"

#include <QDir>
#include <QFileInfo>

ScreenshotFiles::ScreenshotFiles(const QString& directory, int maxNames)
    : directory_(directory.isEmpty() ? QDir::currentPath() : directory), maxNames_(maxNames) {}

QString ScreenshotFiles::nextFreePath() const {
    QDir dir(directory_);
    if (!dir.mkpath(QStringLiteral("screenshots"))) {
        return QString();
    }
    for (int n = 0; n < maxNames_; ++n) {
        const QString path =
            dir.filePath(QStringLiteral("screenshots/sc_%1.png").arg(n, 5, 10, QLatin1Char('0')));
        if (!QFileInfo::exists(path)) {
            return path;
        }
    }
    return QString();
}

QString ScreenshotFiles::save(const QImage& image) const {
    const QString path = nextFreePath();
    if (path.isEmpty() || !image.convertToFormat(QImage::Format_RGB32).save(path, "PNG")) {
        return QString();
    }
    return path;
}
