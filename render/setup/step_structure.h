// The product structure a STEP file states, checked before OpenCASCADE
// follows it: an assembly that contains itself, or nests deeper than a
// bound, is refused instead of recursed into.
#pragma once

#include <string>

class StepData_StepModel;

namespace xr {

// Throws std::runtime_error, in one line naming the file and the product,
// when an assembly contains itself or nests deeper than max_node_depth, the
// bound on every format's hierarchy.
// Linear in the number of the file's assembly links.
void check_product_structure(const StepData_StepModel& model, const std::string& file);

} // namespace xr
