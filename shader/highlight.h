// Phong highlights from the shader's lights, averaged over each light's samples.
#pragma once

#include <qorv_xraytexture.h>

// The float32 0x3A83126F: Phong factors at or below it add nothing.
constexpr float phong_threshold = 0.001f;

struct Highlight {
    float r, g, b;
};

// Resolves the specular and light parameters (in that order, after the blend's)
// and lets the host adjust the light list even when no light will be sampled.
Highlight highlight(RenderState* state, const XrayParams* params);
