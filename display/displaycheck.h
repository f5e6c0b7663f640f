#pragma once

#include <QString>

// Why no window can be opened here, or empty when one can: asked before the
// application object exists, because Qt aborts the process when its platform
// cannot reach a display.
QString displayProblem(int argc, char* argv[]);
