// What a page is told about the scene it shows: the scene file as it stands,
// its x-ray materials and lights by name, the shader's declared parameters to
// draw controls from, and where the camera is.
#pragma once

#include "render/camera.h"
#include "render/output/output_plan.h"
#include "render/setup/scene_description.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

namespace xr {

// What stays the same while a scene is served.
struct ServedScene {
    std::string title;                    // the scene file, or what stands for it
    OutputPlan image;                     // what "Render" writes, as the command line would
    std::vector<Pass> passes;             // written with it into OpenEXR
    std::string scene_file;               // where "Save" writes
    nlohmann::ordered_json loaded_camera; // the camera as the scene placed it
};

// The camera as a scene file places it.
nlohmann::ordered_json camera_json(const Camera& camera);

// The page's state after `edit` edits: everything it needs to draw its
// controls and show their values.
nlohmann::ordered_json preview_state(const ServedScene& served, const SceneDescription& scene,
                                     const Camera& camera, uint64_t edit);

} // namespace xr
