// The product structure a STEP file states, checked before OpenCASCADE
// follows it: an assembly that contains itself, nests deeper than a bound
// or expands to more parts than one, or a file that refers to an entity it
// does not define or holds one it cannot read, is refused instead of followed.
#pragma once

#include <string>
#include <vector>

class StepData_StepModel;

namespace xr {

// Throws std::runtime_error, in one line naming the file and the line, when
// the text names an entity by a number above 2^31 - 1 (the parser would wrap
// it, to crash or to take another entity for it), or gives a parameter a
// number beyond 1e150 (the geometry kernel crashed or looped for ever on
// it). One pass through the file, before the parser reads it.
void check_step_numbers(const std::string& file);

// Throws std::runtime_error, in one line naming the file and the product (or
// the representation), when an assembly contains itself or nests deeper than
// max_node_depth, the bound on every format's hierarchy, or when the
// assemblies expand to more than max_expanded_nodes uses of parts. Products
// nest by their assembly links, and shapes by the representations their
// mapped items place, as OpenCASCADE follows them.
// Linear in the number of the file's links.
void check_product_structure(const StepData_StepModel& model, const std::string& file);

// Throws std::runtime_error, in one line naming the file and the entity, when
// the file refers to an entity it does not define: the reader would leave the
// reference out, and with it a face or a part, without a word.
void check_references(const StepData_StepModel& model, const std::string& file);

// Throws std::runtime_error, in one line naming the file, the entity and its
// type, when the parser could not read the fields (too few or too many, or
// one of the wrong kind) of an entity that builds or places shapes:
// OpenCASCADE would follow what it left unset, and crash, or leave a face out.
void check_entities(const StepData_StepModel& model, const std::string& file);

// What the file places that OpenCASCADE draws otherwise, one line each: a
// placement that mirrors or scales, which it takes as a rotation.
std::vector<std::string> placement_warnings(const StepData_StepModel& model,
                                            const std::string& file);

// Clears the id of each instance without a name or description, which
// OpenCASCADE would take as its name, so that it is named by its product.
void name_instances_by_products(StepData_StepModel& model);

} // namespace xr
