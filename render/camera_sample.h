// One camera sample of a pixel: the ray through a jittered point of it, traced
// and shaded, over the background.
#pragma once

#include "render/camera.h"
#include "render/pass_sampler.h"
#include "render/render_settings.h"

namespace xr {

// Sample i of pixel (x, y), in the full frame's coordinates, of the `planned`
// the pixel takes in this round of sampling (all of them, or an adaptive
// round's): matte surfaces spread the light's strata over them. It draws from
// its own random stream, made from the seed, the pixel and i, so it is the
// same whichever thread, tile or round of sampling takes it. Adds to the
// pixel's passes when there are any. A sample the pixel could not sum (what
// values beyond sample_bounds.h's can make) is counted in the context's
// stats and made summable: a channel that is NaN counts as 0, one beyond
// ±max_sample_value (an infinity too) as that bound.
Color camera_sample(ThreadContext& context, const CameraView& camera,
                    const RenderSettings& settings, int x, int y, int i, int planned,
                    const PassSampler* passes, PassSampler::Pixel& pass_pixel);

} // namespace xr
