// The frames of an output plan rendered one after another, each into its own
// file, which appears whole once its frame is done; a line for each frame, and
// for a sequence a summary at the end.
#pragma once

#include "render/image/passes.h"
#include "render/output/output_plan.h"
#include "render/render_settings.h"
#include "render/renderer.h"
#include "render/scene.h"
#include <qorv_xraytexture.h>

#include <string>
#include <vector>

namespace xr {

// The frames of the plan's range to render: all of them, or when existing
// files are to be skipped, those whose files are missing. A file that exists
// is complete, since files appear only whole.
std::vector<int> frames_to_render(const OutputPlan& plan, bool skip_existing);

// Throws std::runtime_error, before any work starts, when a frame with these
// passes and its encoded copy cannot fit in the memory available.
void check_image_fits(const RenderSettings& settings, const std::vector<Pass>& passes,
                      ImageFormat format);

// What every frame is rendered from. The scene's camera is frame 1's; the
// writer moves it for the others.
struct FrameSource {
    Scene* scene; // null when there are no frames to render
    qorv_xraytexture_fn shader;
    RenderSettings settings;
    std::vector<Pass> passes;
    std::vector<std::string> part_names; // by id, for the id pass's legend
    // Told each frame's progress; when empty, a progress bar on the standard
    // error stream shows it.
    ProgressFn progress = {};
    // Cancelling it stops the frame in flight, which is then not written, and
    // write_frames throws.
    tbb::task_group_context* group = nullptr;
};

// Renders `frames` of the plan, in order, and reports the rest of its range as
// skipped.
void write_frames(const FrameSource& source, const OutputPlan& plan,
                  const std::vector<int>& frames);

} // namespace xr
