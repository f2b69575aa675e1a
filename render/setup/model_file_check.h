// What a model file must be before the importer reads it: a regular file and,
// for a glTF, a node hierarchy the importer's recursion can follow and data
// from the model's own folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace xr {

// Nodes nested deeper than this are refused: the importer follows them by
// recursion, which deeper could overflow the stack. Assemblies nest a few dozen.
constexpr int max_node_depth = 1024;

// Files that expand to more nodes (a COLLADA file through the nodes it
// instances) or parts (a STEP assembly through its uses of products) than this
// are refused before they are expanded: each costs the importer and the
// renderer some hundreds of bytes to a few kilobytes, so this many already
// take gigabytes, and a few levels of instances could otherwise ask for more
// than any machine holds. Real assemblies stay far below.
constexpr size_t max_expanded_nodes = size_t(1) << 20;

// The triangles a glTF 2 primitive's indices make, by its JSON pointer
// ("/meshes/0/primitives/1"), for each primitive in the order the importer
// makes a mesh of it; none for one whose faces are not counted here. The
// importer leaves out, without a word, a face whose index is beyond the
// vertices: its mesh then has fewer.
struct PrimitiveFaces {
    std::string place;
    std::optional<uint64_t> triangles;
};

// Throws std::runtime_error, in one line naming the file, for a path that is
// not a regular file, and for a glTF (known by its extension, or a binary one
// by its magic) that is not JSON, gives a key twice in one object, or whose
// nodes nest deeper than max_node_depth, form a loop, share a child or name
// one that does not exist, or whose buffers are files outside the model's
// folder (a symlink there is followed: whoever made it chose to). Other
// formats pass: the importer judges them.
// Gives, for a glTF 2, what its faces must come to (see PrimitiveFaces).
std::vector<PrimitiveFaces> check_model_file(const std::string& path);

// Whether the file's name is a glTF's: the importer reads no other file as one
// (its glTF readers would take any file of an unknown extension by its
// content, unchecked), and check_model_file checks each that is.
bool has_gltf_extension(const std::string& path);

} // namespace xr
