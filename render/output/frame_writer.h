// The frames of an output plan rendered one after another, each into its own
// file, which appears whole once its frame is done, or all into one video,
// which appears once the last is done; a line for each frame, and for a
// sequence a summary at the end.
#pragma once

#include "render/output/output_plan.h"
#include "render/render_settings.h"
#include "render/renderer.h"
#include "render/scene.h"
#include <qorv_xraytexture.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace xr {

// What every frame is rendered from. The scene's camera is frame 1's; the
// writer moves it for the others.
struct FrameSource {
    Scene* scene; // null when there are no frames to render
    qorv_xraytexture_fn shader;
    RenderSettings settings;
    // Told the progress of all the frames together, so that it rises once
    // from the first to the last; without a function for it, a progress bar
    // on the standard error stream shows each frame's. Cancelling its group
    // stops the frame in flight, which is then not written, and write_frames
    // throws.
    RenderControl control = {};
    // Written into every frame's file beside its pixels, by name.
    std::map<std::string, std::string> attributes = {};
    // Given each frame's film once it is written, or taken by the video.
    std::function<void(const Film& film)> written = {};
};

// Renders `frames` of the plan, in order, and reports the rest of its range as
// skipped. A file that cannot be written fails before any frame is rendered
// (check_frames_writable).
void write_frames(const FrameSource& source, const OutputPlan& plan,
                  const std::vector<int>& frames);

} // namespace xr
