// The shader's parameter block, filled by the host from the shader's declaration.
#pragma once

#include "host/host_api.h"

extern "C" {

struct XrayParams {
    Color color;             // the surface's own colour, alpha included
    float power;             // exponent applied to the facing cosine
    int32_t skip_flagged;    // give no result on flagged surfaces
    int32_t invert;          // swap the see-through and surface weights
    float specular_weight;   // scales every highlight; <= 0 samples no light
    float specular_exponent; // Phong exponent handed to the host
    Color specular;          // highlight tint; alpha is not read
    int32_t mode;            // 1 inclusive light list, 2 exclusive, else as given
    int32_t i_light;         // first light used within `light`
    int32_t n_light;         // number of lights used
    Tag light[1];            // the block ends with this array; the host sizes it
};

} // extern "C"

static_assert(offsetof(XrayParams, color) == 0, "XrayParams.color");
static_assert(offsetof(XrayParams, power) == 16, "XrayParams.power");
static_assert(offsetof(XrayParams, skip_flagged) == 20, "XrayParams.skip_flagged");
static_assert(offsetof(XrayParams, invert) == 24, "XrayParams.invert");
static_assert(offsetof(XrayParams, specular_weight) == 28, "XrayParams.specular_weight");
static_assert(offsetof(XrayParams, specular_exponent) == 32, "XrayParams.specular_exponent");
static_assert(offsetof(XrayParams, specular) == 36, "XrayParams.specular");
static_assert(offsetof(XrayParams, mode) == 52, "XrayParams.mode");
static_assert(offsetof(XrayParams, i_light) == 56, "XrayParams.i_light");
static_assert(offsetof(XrayParams, n_light) == 60, "XrayParams.n_light");
static_assert(offsetof(XrayParams, light) == 64, "XrayParams.light");
static_assert(alignof(XrayParams) == 4, "the block is four-byte aligned");
