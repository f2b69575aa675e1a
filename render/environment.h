// What rays that leave the scene see: the studio backdrop (a soft gradient sky
// over a darker floor tone), a solid colour, or nothing at all.
#pragma once

#include "render/util/vec.h"

namespace xr {

struct Background {
    // Transparent: escaping rays bring back nothing, not even coverage, so that
    // a pixel's alpha is how much of it the scene covers.
    enum class Kind { studio, transparent, color };

    Kind kind = Kind::studio;
    Vec3 color; // Kind::color, linear
};

struct Environment {
    Background background;

    // What a ray leaving the scene in this direction sees; (0, 0, 0, 0) when
    // the background is transparent.
    Color color(Vec3 direction) const;
    // A camera sample over the background seen along its ray: what the sample
    // leaves uncovered shows the background, and an opaque background makes
    // alpha 1. Unchanged when the background is transparent.
    Color behind(const Color& sample, Vec3 direction) const;
};

// The studio's sky. Matte surfaces take their ambient light from it whatever
// the background, so that the background changes nothing in front of it.
Color studio_sky(Vec3 direction);

} // namespace xr
