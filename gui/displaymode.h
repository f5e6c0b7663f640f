#pragma once

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
