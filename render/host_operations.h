// The seven operations this host offers its shaders, exported from the program
// under their plain names so that a shader library finds them by name.
#pragma once

#include "host/host_api.h"

extern "C" {

int32_t mi_trace_reflection(Color* result, RenderState* state, Vector3* direction);
int32_t mi_trace_environment(Color* result, RenderState* state, Vector3* direction);
int32_t mi_sample_light(Color* light_color, Vector3* light_direction, float* cosine,
                        RenderState* state, Tag light, int32_t* sample_count);
int32_t mi_inclusive_lightlist(int32_t* count, Tag** list, RenderState* state);
int32_t mi_exclusive_lightlist(int32_t* count, Tag** list, RenderState* state);
void* mi_phen_eval(RenderState* state, void* param);
float mi_phong_specular(float exponent, RenderState* state, Vector3* light_direction);

} // extern "C"
