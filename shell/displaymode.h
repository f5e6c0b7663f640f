#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>

#include "gui/displaymode.h"

// What a windowing system offers for switching the monitor's mode.
class DisplayModeBackend {
public:
    virtual ~DisplayModeBackend() = default;
    virtual QList<DisplayMode> modes() const = 0;
    // An invalid mode when there is no screen to ask.
    virtual DisplayMode currentMode() const = 0;
    // Switches to a mode of modes(); false when the system refused.
    virtual bool setMode(const DisplayMode& mode) = 0;
    // Where a separate process can reach the same screen to undo a switch;
    // empty for systems where this program never switches anything.
    virtual QByteArray displayName() const { return {}; }
};

// XRandR on the xcb platform when the server has the extension; otherwise a
// backend that offers only the primary screen as it is and changes nothing.
// Needs a QGuiApplication.
std::unique_ptr<DisplayModeBackend> createDisplayModeBackend();
