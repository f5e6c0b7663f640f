#pragma once

#include <cstdlib>

// Stops the run on a broken invariant, whatever the build type.
inline void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}
