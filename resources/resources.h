#pragma once

#include <QString>

namespace Resources {

// Registers the bundled fonts with the application (once; later calls do
// nothing) and returns the family name to ask for. Needs a QGuiApplication.
QString fontFamily();

}  // namespace Resources
