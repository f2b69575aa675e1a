// What a 3MF's model must be before the importer reads it: the importer
// follows objects' components by recursion and builds a node for every use,
// and takes materials, texture coordinates and colours by the indices the
// model gives, unchecked.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace xr {

// The model a 3MF's relationships (its _rels/.rels) name, as the importer
// finds it: the first relationship of a 3D model's type. None if they name
// none, or cannot be read.
std::optional<std::string> model_part_name(std::string relationships);

// The copies of a text the importer holds while it parses it: its zip
// reader's, its own and its parser's.
constexpr size_t importer_copies_of_text = 3;

// A 3MF's model as the importer reads it.
struct ModelPart {
    std::string file;  // the 3MF
    std::string name;  // the model's in the package, as archived_name gives it
    double beside = 0; // bytes the importer holds while it reads the model (thumbnails)
};

// Throws std::runtime_error, in one line naming the 3MF, for a model (the XML
// `text`), read as the importer reads it, one of whose objects contains
// itself through components, whose components nest deeper than
// max_node_depth or expand the build to more than max_expanded_nodes objects,
// or name objects of another part of the package, one of whose objects or
// triangles takes a material or texture coordinate beyond its group, one of
// whose meshes sets texture coordinates of a vertex beyond those listed before
// or lists more after, or one of whose items' or components' transforms has
// fewer than 12 numbers or one a float cannot hold; and for one that needs,
// parsed and copied out, more than the memory available. Text the importer's
// parser cannot read passes: the importer says why.
void check_3mf_model(std::string text, const ModelPart& part);

} // namespace xr
