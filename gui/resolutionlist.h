#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <map>

#include "display/displaymode.h"

// The resolutions the options screen offers, ordered by their keys: width and
// height as four zero-padded digits each, so that text order is size order.
class ResolutionList {
public:
    static QString key(int width, int height);

    // Keeps the modes larger than 639 by 479 at 32 bits per pixel, one per key.
    void rebuild(const QList<DisplayMode>& modes);
    QStringList keys() const;
    bool contains(const QString& key) const { return modes_.count(key) > 0; }
    DisplayMode mode(const QString& key) const;
    // The neighbour of key in the list, wrapping; a key that is not listed
    // steps to where it would stand. Empty when the list is.
    QString step(const QString& key, bool forward) const;
    // The key as players read it: "800x600".
    static QString display(const QString& key);

    // The sizes of the screens Qt reports, until the display modes of the
    // system can be listed.
    static QList<DisplayMode> screenModes();

private:
    std::map<QString, DisplayMode> modes_;
};
