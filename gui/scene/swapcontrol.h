#pragma once

#include <QSurfaceFormat>

class QWindow;

// Vertical sync for the window that shows the scene. Qt takes a window's swap
// interval from its format when the window is made; for a window already on
// screen the GLX swap-control extension changes the interval of its drawable.
class SwapControl {
public:
    static QSurfaceFormat withVSync(QSurfaceFormat format, bool vsync);

    // Both need a current GLX context (the surface's, inside its GL calls).
    // Whether the interval of a shown window can be changed.
    static bool available();
    // Asks for vsync on or off; false when the window keeps what it has.
    static bool apply(QWindow* window, bool vsync);
    // The interval the window's drawable swaps with, -1 when unknown.
    static int interval(QWindow* window);
};
