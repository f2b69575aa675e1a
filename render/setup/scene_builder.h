// Turns a scene description into a scene to render.
#pragma once

#include "render/scene.h"
#include "render/setup/part.h"
#include "render/setup/scene_description.h"

#include <memory>
#include <vector>

namespace xr {

// The parts of every model of the description, in order: part i has id i + 1
// in the scene and its id pass.
std::vector<Part> load_parts(const SceneDescription& description);

// Builds the scene from its description and the parts loaded for it. Parts no
// assignment gives a look stay matte in their own colours. Throws
// std::runtime_error, in one line naming the file and the key, when an
// assignment's glob, or the camera's, matches no part.
std::unique_ptr<Scene> build_scene(const SceneDescription& description,
                                   const std::vector<Part>& parts);

// Whether a part's name matches a glob: * ? and [...] as in the shell, with *
// crossing '/'.
bool glob_match(const std::string& glob, const std::string& name);

} // namespace xr
