#include "render/output/libav.h"

#include <dlfcn.h>

#include <stdexcept>
#include <string>

namespace xr {

namespace {

enum Library { avutil_library, avcodec_library, avformat_library, swscale_library, libraries };

// The file names the linker would have recorded.
const char* const library_files[libraries] = {
    "libavutil.so." AV_STRINGIFY(LIBAVUTIL_VERSION_MAJOR),
    "libavcodec.so." AV_STRINGIFY(LIBAVCODEC_VERSION_MAJOR),
    "libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR),
    "libswscale.so." AV_STRINGIFY(LIBSWSCALE_VERSION_MAJOR),
};

Libav open_libav() {
    void* handles[libraries];
    for (int i = 0; i < libraries; ++i) {
        // Never closed: the writer's functions are called until the program ends.
        handles[i] = dlopen(library_files[i], RTLD_NOW | RTLD_LOCAL);
        if (!handles[i])
            throw std::runtime_error(std::string("videos need ") + library_files[i] + ": " +
                                     dlerror());
    }
    auto symbol = [&](Library library, const char* name) {
        void* address = dlsym(handles[library], name);
        if (!address)
            throw std::runtime_error(std::string("videos need ") + name + " from " +
                                     library_files[library]);
        return address;
    };
    Libav lib;
#define XR_LIBAV_RESOLVE(library, name)                                                            \
    lib.name = reinterpret_cast<decltype(lib.name)>(symbol(library, #name));
    XR_LIBAV_FUNCTIONS(XR_LIBAV_RESOLVE)
#undef XR_LIBAV_RESOLVE
    return lib;
}

} // namespace

const Libav& libav() {
    static const Libav lib = open_libav();
    return lib;
}

} // namespace xr
