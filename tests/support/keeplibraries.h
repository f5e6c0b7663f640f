#pragma once

#include <dlfcn.h>
#include <link.h>

// Keeps every shared library loaded now in memory until the process ends.
// Qt loads the GL driver and D-Bus at run time and unloads them at exit with
// blocks they still own; unloaded, those blocks look leaked to the leak
// checker. Kept, they stay reachable, and only our own leaks are reported.
// Call it once the window has been shown, for example in cleanupTestCase().
inline void keepLoadedLibraries() {
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void*) {
            if (info->dlpi_name != nullptr && info->dlpi_name[0] != '\0') {
                // NOLOAD: only takes a library that is loaded; the handle is
                // kept on purpose.
                dlopen(info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
            }
            return 0;
        },
        nullptr);
}
