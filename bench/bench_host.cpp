// A host module for the benchmarks: the seven operations, each as cheap as an
// answer can be, so that what is measured is the library's own cost. It keeps
// no state, so any number of threads may shade through it at once.
#include <qorv_xraytexture.h>

// Declared exported; each definition below must match its declaration.
extern "C" {
QORV_XRAYTEXTURE_HOST_OPERATIONS(QORV_XRAYTEXTURE_EXPORTED_OPERATION)
} // extern "C"

extern "C" int32_t mi_trace_reflection(Color* result, RenderState*, Vector3*) {
    *result = {0.25f, 0.5f, 0.75f, 1.0f};
    return 1;
}

extern "C" int32_t mi_trace_environment(Color* result, RenderState*, Vector3*) {
    *result = {0.125f, 0.125f, 0.125f, 1.0f};
    return 1;
}

// A light's tag is the number of samples it gives.
extern "C" int32_t mi_sample_light(Color* light_color, Vector3* light_direction, float* cosine,
                                   RenderState*, Tag light, int32_t* sample_count) {
    const int32_t n = *sample_count;
    if (n >= static_cast<int32_t>(light))
        return 0;
    *light_color = {1.0f, 0.875f, 0.75f, 1.0f};
    *light_direction = {0.0f, 0.0f, 1.0f};
    *cosine = 1.0f;
    *sample_count = n + 1;
    return 1;
}

extern "C" int32_t mi_inclusive_lightlist(int32_t*, Tag**, RenderState*) {
    return 1;
}

extern "C" int32_t mi_exclusive_lightlist(int32_t*, Tag**, RenderState*) {
    return 1;
}

extern "C" void* mi_phen_eval(RenderState*, void* param) {
    return param;
}

extern "C" float mi_phong_specular(float, RenderState*, Vector3* light_direction) {
    return 0.5f * light_direction->z;
}
