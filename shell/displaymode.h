#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>

// One mode the monitor can be switched to. The refresh rate is in whole hertz
// (0 when the system does not say).
struct DisplayMode {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    int refreshRate = 0;

    bool isValid() const { return width > 0 && height > 0; }
    friend bool operator==(const DisplayMode&, const DisplayMode&) = default;
};

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
