#pragma once

#include <QImage>
#include <QString>

// Where F11 saves: "screenshots/sc_00000.png" and on, the first free name.
class ScreenshotFiles {
public:
    static constexpr int kMaxNames = 100000;

    // directory: the working directory when empty.
    explicit ScreenshotFiles(const QString& directory = QString(), int maxNames = kMaxNames);

    // Makes the "screenshots" folder when missing; empty when every name is taken.
    QString nextFreePath() const;
    // The saved file, or empty when nothing was saved.
    QString save(const QImage& image) const;

private:
    QString directory_;
    int maxNames_;
};
