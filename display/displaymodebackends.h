#pragma once

#include <memory>

#include "display/displaymode.h"

// XRandR on the xcb platform when the server has the extension; otherwise a
// backend that offers only the primary screen as it is and changes nothing.
// Needs a QGuiApplication.
std::unique_ptr<DisplayModeBackend> createDisplayModeBackend();
