// What a COLLADA file's nodes must be before the importer reads them: it
// follows nested elements, and the nodes that nodes instance, by recursion,
// and builds a node for every use of an instanced node.
#pragma once

#include <string>

namespace xr {

// Throws std::runtime_error, in one line naming the file, for a COLLADA file
// (known as the importer knows it: by its extension or its first bytes) with
// elements of one name nested more than max_node_depth deep, whose scene
// nests nodes deeper than that counting the nodes they instance, instances a
// node inside itself, expands to more than max_expanded_nodes nodes, or has
// an element whose count is beyond the file's size in bytes; and
// for one packed in a zip archive, whose content is not read before the
// importer. Other files pass. One pass through the file, linear in its size.
void check_collada_file(const std::string& path);

} // namespace xr
