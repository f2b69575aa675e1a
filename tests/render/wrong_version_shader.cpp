// A shader library of another version, which xray-render must refuse: the
// build says how far from the header's version (VERSION_STEP).
#define QORV_XRAYTEXTURE_SHADER_MODULE
#include <qorv_xraytexture.h>

extern "C" {

int32_t qorv_xraytexture_version(void) {
    return QORV_XRAYTEXTURE_VERSION + VERSION_STEP;
}

int32_t qorv_xraytexture(Color*, RenderState*, XrayParams*) {
    return 0;
}

void miSetModuleHandle(void*) {}

} // extern "C"
