// What a page is told about the scene it shows: the scene file as it stands,
// its x-ray materials and lights by name, the shader's declared parameters to
// draw controls from, and where the camera is.
#pragma once

#include "render/output/output_plan.h"
#include "render/serve/preview_messages.h"
#include "render/setup/scene_description.h"

#include <cstdint>
#include <string>

namespace xr {

// What stays the same while a scene is served.
struct ServedScene {
    std::string title;      // the scene file, or what stands for it
    OutputPlan image;       // what "Render" writes, as the command line would
    std::string scene_file; // where "Save" writes
    Camera loaded_camera;   // the camera as the scene placed it
    std::string server;     // this run of the server, unlike any other's
};

// The page's state after `edit` edits.
StateMessage preview_state(const ServedScene& served, const SceneDescription& scene,
                           const Camera& camera, uint64_t edit);

} // namespace xr
