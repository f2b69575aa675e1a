// Nodes that use other nodes, such as a COLLADA file's instanced nodes or a
// STEP file's assemblies of products: each is held once and may be used from
// many places, and an importer builds every use as a node of its own. The walk
// here finds, before that, what the importer would build.
#pragma once

#include <cstddef>
#include <vector>

namespace xr {

// The nodes each node uses, by index: one used twice is listed twice.
using NodeUses = std::vector<std::vector<size_t>>;

// What the importer builds from a node down, every use expanded.
struct Expansion {
    int levels = 1;   // the node and the levels below it
    size_t count = 0; // nodes (or leaves) counted, up to max_expanded_nodes + 1
};

enum class Counted { every_node, leaves };

// Where the walk stopped, for the caller to name in its own terms.
struct ExpansionFault {
    enum class Kind { none, loop, too_deep, too_many } kind = Kind::none;
    size_t node = 0;    // the node used within itself, or the one at which a limit was passed
    size_t through = 0; // for a loop, the node that uses `node` again
};

struct Expanded {
    std::vector<Expansion> nodes; // valid where the walk reached, when there is no fault
    ExpansionFault fault;
};

// Walks depth first from each of `starts` in turn, each node once however
// often it is used and without recursion, and stops at the first loop, node
// of more than `max_levels` levels, or node expanding to more than
// max_expanded_nodes.
Expanded expand_nodes(const NodeUses& uses, const std::vector<size_t>& starts, Counted counted,
                      int max_levels);

} // namespace xr
