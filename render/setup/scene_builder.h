// Turns a scene description into a scene to render.
#pragma once

#include "render/scene.h"
#include "render/setup/part.h"
#include "render/setup/scene_description.h"

#include <memory>
#include <vector>

namespace xr {

// Builds the scene from its description and the parts loaded for it. Parts no
// assignment gives a look stay matte in their own colours. Throws Error, naming
// the file and the key, when an assignment's glob, or the camera's, matches no part.
std::unique_ptr<Scene> build_scene(const SceneDescription& description,
                                   const std::vector<Part>& parts);

// Whether a part's name matches a glob: * ? and [...] as in the shell, with *
// crossing '/'.
bool glob_match(const std::string& glob, const std::string& name);

} // namespace xr
