// The product structure a STEP file states, checked before OpenCASCADE
// follows it: an assembly that contains itself, nests deeper than a bound
// or expands to more parts than one, or a file that refers to an entity it
// does not define, is refused instead of followed.
#pragma once

#include <string>

class StepData_StepModel;

namespace xr {

// Throws std::runtime_error, in one line naming the file and the product,
// when an assembly contains itself or nests deeper than max_node_depth, the
// bound on every format's hierarchy, or when the assemblies expand to more
// than max_expanded_nodes uses of parts.
// Linear in the number of the file's assembly links.
void check_product_structure(const StepData_StepModel& model, const std::string& file);

// Throws std::runtime_error, in one line naming the file and the entity, when
// the file refers to an entity it does not define: the reader would leave the
// reference out, and with it a face or a part, without a word.
void check_references(const StepData_StepModel& model, const std::string& file);

} // namespace xr
