/* The public header as a strict C99 compiler sees it; the records' layout is
 * checked by the header itself. */
#include <qorv_xraytexture.h>

QORV_XRAYTEXTURE_HOST_OPERATIONS(QORV_XRAYTEXTURE_EXPORTED_OPERATION)

int32_t mi_trace_environment(Color* result, RenderState* state, Vector3* direction) {
    (void)state, (void)direction;
    result->r = result->g = result->b = result->a = 1.0f;
    return QORV_XRAYTEXTURE_RAY_SHADOW != QORV_XRAYTEXTURE_RAY_DISPLACE;
}

static const mi_trace_environment_fn environment = mi_trace_environment;
const qorv_xraytexture_fn* const c99_shader_type = 0;

mi_trace_environment_fn c99_environment(void) {
    return environment;
}
