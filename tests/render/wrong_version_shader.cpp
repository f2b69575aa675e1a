// A shader library of another version, which xray-render must refuse.
#include "host/host_api.h"

extern "C" {

QORV_EXPORT int32_t qorv_xraytexture_version(void) {
    return 1;
}

QORV_EXPORT int32_t qorv_xraytexture(Color*, RenderState*, void*) {
    return 0;
}

QORV_EXPORT void miSetModuleHandle(void*) {}

} // extern "C"
