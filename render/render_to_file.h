// The one way xray-render writes a finished image, from the command line or
// from the preview's "Render" button: what the page shows is what a batch
// render gives.
#pragma once

#include "render/output_file.h"
#include "render/renderer.h"

namespace xr {

// Throws std::runtime_error when the frame and its 8-bit copy cannot fit in
// the memory available, before any work starts.
void check_image_fits(const RenderSettings& settings);

// Renders the scene with `settings` and writes the image into `out`. Throws
// std::runtime_error when it cannot be encoded or written, or when `group`
// was cancelled: then nothing is written.
RenderStats render_to_file(const Scene& scene, ShaderFn shader, const RenderSettings& settings,
                           OutputFile& out, const ProgressFn& progress = {},
                           tbb::task_group_context* group = nullptr);

} // namespace xr
