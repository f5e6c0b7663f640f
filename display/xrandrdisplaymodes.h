#pragma once

#include <QByteArray>
#include <memory>

#include "display/displaymode.h"

struct _XDisplay;

// Mode switching through the X server's RandR extension: the screen's sizes
// and their rates, switched for the whole screen as the old full-screen games
// did. Bits per pixel are the root window's pixel format for every mode.
// Null when the server has no RandR.
std::unique_ptr<DisplayModeBackend> xrandrDisplayModes(_XDisplay* display);
// The same on a connection of its own to `displayName`; null when the server
// cannot be reached or has no RandR.
std::unique_ptr<DisplayModeBackend> openXRandrDisplayModes(const QByteArray& displayName);
