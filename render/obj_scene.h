// A user's Wavefront OBJ mesh in the studio, wearing the x-ray material.
#pragma once

#include "render/scene.h"

#include <string>

namespace xr {

// Throws std::runtime_error when the file cannot be read or holds no faces.
Mesh load_obj(const std::string& path);
Scene obj_scene(const std::string& path, const XraySettings& material);

} // namespace xr
