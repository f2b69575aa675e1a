// Bounds on the values a camera sample is made of, chosen together so that
// what a sample multiplies stays a finite float: a colour times a weight times
// what a light brings. The scene file and the options refuse values beyond
// them; what still leaves a sample without a finite value (many lights at
// their brightest, all but touching a surface) the film bounds as it sums.
#pragma once

#include "render/render_settings.h"

#include <limits>

namespace xr {

// A light's sample falls with the squared distance, taken as at least this:
// a point on the light itself would otherwise be infinitely lit.
constexpr float min_light_distance2 = 1e-12f;

// The most one sample of a light brings to a point.
constexpr float max_light_sample = 1e30f;

// A light's colour times its intensity, and for a rectangle times its area
// too (its sample's cosine is taken against its unnormalised normal): what
// brings max_light_sample at the nearest distance.
constexpr float max_light_power = max_light_sample * min_light_distance2;

// A colour's channels, whatever the colour lights or tints: a surface's, a
// texture's, the x-ray highlights', the background's.
constexpr float max_color = 1e4f;

// A weight on a colour: the x-ray highlights'.
constexpr float max_weight = 1e4f;

static_assert(double(max_color) * max_weight * max_light_sample <
                  double(std::numeric_limits<float>::max()),
              "a highlight's colour times its weight times a light's sample overflows");

// The largest camera sample a pixel sums.
constexpr float max_sample_value = 1e33f;

static_assert(double(max_sample_value) * max_samples < double(std::numeric_limits<float>::max()),
              "the sum of a pixel's samples overflows");

} // namespace xr
