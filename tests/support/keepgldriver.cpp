// Linked into every test that opens a window. Mesa's driver is unloaded at
// exit before LeakSanitizer looks, so what the driver still holds then looks
// lost; keeping the driver loaded keeps that memory reachable and leaves only
// our own leaks to report.
#include <dlfcn.h>

#include <string>

namespace {

const bool driverKept = [] {
    for (const char* dir : {"/usr/lib/x86_64-linux-gnu/dri", "/usr/lib/aarch64-linux-gnu/dri",
                            "/usr/lib64/dri", "/usr/lib/dri"}) {
        const auto path = std::string(dir) + "/swrast_dri.so";
        if (dlopen(path.c_str(), RTLD_NOW | RTLD_NODELETE) != nullptr) {
            return true;
        }
    }
    return false;
}();

}  // namespace
