// STEP assemblies (AP203, AP214, AP242), read through OpenCASCADE's XCAF
// reader into parts as the other formats give them.
#pragma once

#include "render/setup/part.h"
#include "render/setup/scene_description.h"

#include <string>
#include <vector>

namespace xr {

// Whether the file is read as STEP: .step or .stp, in any case.
bool is_step_file(const std::string& path);

// The parts of the STEP file at `path`, placed by the model's transform: the
// leaves of its assembly tree, named by their paths of instance names (or
// product names, where an instance has none) and prefixed with the model's
// name when it has one; in metres whatever the file's unit; in the colour of
// their faces, else of their instance, else of their product, else grey.
// A product used more than once is meshed once and its uses are instances of
// it. Shapes are meshed in parallel, with progress on a terminal's stderr.
// Throws std::runtime_error, in one line naming the file (and the part where
// one is at fault), when the file is not STEP, is cut short, refers to an
// entity it does not define, holds one it cannot read or no faces, contains
// itself, nests deeper than max_node_depth, expands to more than
// max_expanded_nodes parts, or has a face that cannot be meshed. Warns on
// stderr of placements drawn rigid that mirror or scale, and of products
// left out for having no faces.
std::vector<Part> load_step(const ModelDescription& model, const std::string& path);

} // namespace xr
