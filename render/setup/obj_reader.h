// Wavefront OBJ files, read as they stream past: no copy of the file's
// contents is held beside the meshes made of them.
#pragma once

#include "render/setup/part.h"
#include "render/setup/scene_description.h"

#include <string>
#include <vector>

namespace xr {

// The file's parts, placed by `transform`: one for each object or group, in
// the order they start ("defaultobject" for faces before any, the file's
// name for an object without one), named after
// `prefix` as the other formats' parts are; a piece for each material the
// part's faces use, of the material's diffuse colour. Polygons are split into
// fans; vertices are shared where faces share both position and normal.
// Throws std::runtime_error, in one line naming the file, when it cannot be
// read, holds no faces, or a part's name longer than max_part_name; Error,
// naming the line, for a coordinate that is not a finite number, a face's
// index that is not a whole number within an int, and a position, normal or
// texture coordinate a face names that the file does not define.
// `also_read`, when given, gains the material files read.
std::vector<Part> read_obj(const std::string& path, const std::string& prefix,
                           const Transform& transform, std::vector<std::string>* also_read);

} // namespace xr
