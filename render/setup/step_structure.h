// The product structure a STEP file states, checked before OpenCASCADE
// follows it: an assembly that contains itself, or nests deeper than a
// bound, is refused instead of recursed into.
#pragma once

#include <string>

class StepData_StepModel;

namespace xr {

// The most levels of assemblies within assemblies a STEP file may nest, the
// top one counted: design assemblies nest a dozen deep.
constexpr int max_assembly_depth = 64;

// Throws std::runtime_error, in one line naming the file and the product,
// when an assembly contains itself or nests deeper than max_assembly_depth.
// Linear in the number of the file's assembly links.
void check_product_structure(const StepData_StepModel& model, const std::string& file);

} // namespace xr
