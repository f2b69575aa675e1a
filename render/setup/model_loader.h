// Models as parts: mesh files in the formats people export (through Assimp,
// OBJ through its own streaming reader), STEP assemblies (through OpenCASCADE),
// or the primitive shapes a scene may name.
#pragma once

#include "render/setup/part.h"
#include "render/setup/part_names.h"
#include "render/setup/scene_description.h"

#include <string>
#include <vector>

namespace xr {

// The model's parts, placed by its transform. A file's parts are the nodes
// that carry meshes, named by their paths in its hierarchy and prefixed with
// the model's name when it has one, as UTF-8 text (utf8_text); triangulated,
// with the file's normals where it has them. Throws std::runtime_error, in one
// line naming the file, when it cannot be read (check_model_file,
// check_text_mesh_file, check_archive_file, or the importer fails a check of
// its own), names a file that is there but not a regular file (a glTF's
// buffer, an OBJ's material file), holds no faces, a face without corners,
// a glTF face whose index is beyond its vertices, a vertex that is not
// finite, a colour that is not finite or is negative (as a scene file's), or
// a part's name longer than max_part_name.
// `also_read`, when given, gains the other files the reader opened (a glTF's
// buffers, an OBJ's materials), which an output must not replace.
std::vector<Part> load_model(const ModelDescription& model, const std::string& base_dir,
                             std::vector<std::string>* also_read = nullptr);

// The parts of every model of the description, in order: part i has id i + 1
// in the scene and its id pass; `also_read` as for load_model. A fault of a
// scene file's model is placed at its key: "scene.json: /models/2: ...".
std::vector<Part> load_parts(const SceneDescription& description,
                             std::vector<std::string>* also_read = nullptr);

// The file as found from base_dir.
std::string model_path(const ModelDescription& model, const std::string& base_dir);

} // namespace xr
