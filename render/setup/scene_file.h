// Scene files: a JSON document read into a SceneDescription, and written back.
// docs/scene-format.md describes the format.
#pragma once

#include "render/setup/scene_description.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace xr {

// Scene files larger than this are refused unread: a scene states models,
// materials and lights in a few kilobytes.
constexpr size_t max_scene_file_bytes = 16 << 20;

// Reads the file, a regular file of at most max_scene_file_bytes; relative
// model files are then found beside it. Throws std::runtime_error with one
// line naming the file and then the line and column of a syntax error, or the
// JSON pointer of a key it cannot accept or that comes twice in its object.
SceneDescription read_scene_file(const std::string& path);

// The same for text already in memory; `source` names it in messages.
SceneDescription parse_scene(const std::string& text, const std::string& source,
                             const std::string& base_dir);

// The same for a document already parsed, such as a scene edited as JSON.
SceneDescription read_scene(const nlohmann::ordered_json& root, const std::string& source,
                            const std::string& base_dir);

// The scene xray-render draws when given no scene or model: scenes/default.json,
// compiled in.
SceneDescription built_in_scene();

// The description as a scene file states it, leaving out what is the default.
nlohmann::ordered_json scene_to_json(const SceneDescription& scene);

// A point or direction as a scene file states it: [x, y, z], each the shortest
// decimal that reads back as the same float.
nlohmann::ordered_json vec3_json(Vec3 v);

// Writes the description as a scene file at `path`, whole or not at all, with
// its model files found from the file's own folder. Throws std::runtime_error.
void write_scene_file(const SceneDescription& scene, const std::string& path);

} // namespace xr
