// The x-ray shader's entry point as the host calls it.
#pragma once

#include <qorv_xraytexture.h>

namespace xr {

using ShaderFn = int32_t (*)(Color* result, RenderState* state, XrayParams* params);

} // namespace xr
