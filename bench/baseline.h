// The limit the library's design allows: the shader's work written out in one
// function that calls the host through plain function pointers, with no entry
// table between them.
#pragma once

#include "bench/shading_request.h"

// Takes the operations the baseline calls from now on.
void bind_baseline(const HostOps& ops);

int32_t baseline_shade(Color* result, RenderState* state, XrayParams* params);
