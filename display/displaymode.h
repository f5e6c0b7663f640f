#pragma once

#include <QByteArray>
#include <QList>
#include <QScreen>
#include <QSize>

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

// The mode a screen runs in now, in device pixels as the display system
// counts them. Qt reports the depth of the visual, 24, for what is stored in
// 32-bit pixels.
inline DisplayMode currentModeOf(const QScreen& screen) {
    const QSize size = screen.size() * screen.devicePixelRatio();
    const int depth = screen.depth();
    return {size.width(), size.height(), depth == 24 ? 32 : depth, qRound(screen.refreshRate())};
}

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
