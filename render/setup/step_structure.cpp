#include "render/setup/step_structure.h"

#include "render/setup/model_file_check.h"
#include "render/setup/node_expansion.h"
#include "render/util/text.h"

#include <Interface_Check.hxx>
#include <StepBasic_Product.hxx>
#include <StepBasic_ProductDefinition.hxx>
#include <StepBasic_ProductDefinitionFormation.hxx>
#include <StepData_StepModel.hxx>
#include <StepRepr_NextAssemblyUsageOccurrence.hxx>

#include <stdexcept>
#include <unordered_map>
#include <vector>

namespace xr {

namespace {

using Definition = const StepBasic_ProductDefinition*;

std::string product_name(Definition d) {
    const Handle(StepBasic_ProductDefinitionFormation) formation = d->Formation();
    if (formation.IsNull() || formation->OfProduct().IsNull() ||
        formation->OfProduct()->Name().IsNull())
        return "(unnamed)";
    return formation->OfProduct()->Name()->ToCString();
}

} // namespace

void check_product_structure(const StepData_StepModel& model, const std::string& file) {
    std::vector<Definition> definitions;
    std::unordered_map<Definition, size_t> index;
    NodeUses uses;
    std::vector<bool> used; // a part of another
    auto node = [&](Definition d) {
        const auto [at, added] = index.try_emplace(d, definitions.size());
        if (added) {
            definitions.push_back(d);
            uses.emplace_back();
            used.push_back(false);
        }
        return at->second;
    };
    std::vector<size_t> wholes;
    for (int i = 1; i <= model.NbEntities(); ++i) {
        const auto* link =
            dynamic_cast<const StepRepr_NextAssemblyUsageOccurrence*>(model.Value(i).get());
        if (!link || link->RelatingProductDefinition().IsNull() ||
            link->RelatedProductDefinition().IsNull())
            continue;
        const size_t whole = node(link->RelatingProductDefinition().get());
        const size_t part = node(link->RelatedProductDefinition().get());
        wholes.push_back(whole);
        uses[whole].push_back(part);
        used[part] = true;
    }
    // Every use of a product below another adds its parts again: what the
    // reader expands.
    const Expanded expanded = expand_nodes(uses, wholes, Counted::leaves, max_node_depth);
    const ExpansionFault& fault = expanded.fault;
    auto named = [&](size_t n) {
        return "'" + printable(utf8_text(product_name(definitions[n]))) + "'";
    };
    switch (fault.kind) {
    case ExpansionFault::Kind::none:
        break;
    case ExpansionFault::Kind::loop:
        throw std::runtime_error(
            file + ": product " + named(fault.node) + " contains itself" +
            (fault.through == fault.node ? std::string() : ", through " + named(fault.through)));
    case ExpansionFault::Kind::too_deep:
        throw std::runtime_error(file + ": the assembly nests deeper than " +
                                 std::to_string(max_node_depth) + " levels, at product " +
                                 named(fault.node));
    case ExpansionFault::Kind::too_many:
        throw std::runtime_error(file + ": the assembly expands to more than " +
                                 std::to_string(max_expanded_nodes) + " parts, at product " +
                                 named(fault.node));
    }
    // The reader transfers every assembly that is no other's part.
    size_t parts = 0;
    for (size_t n = 0; n < uses.size(); ++n)
        if (!uses[n].empty() && !used[n])
            parts += expanded.nodes[n].count;
    if (parts > max_expanded_nodes)
        throw std::runtime_error(file + ": the assembly expands to more than " +
                                 std::to_string(max_expanded_nodes) + " parts");
}

void check_references(const StepData_StepModel& model, const std::string& file) {
    const Interface_Check& check = *model.GlobalCheck();
    for (int i = 1; i <= check.NbFails(); ++i) {
        // Known by the reader's message before it is formatted; the formatted
        // one ends "(Id.#N)", naming the entity.
        if (std::string(check.CFail(i, false)) != "Unresolved Reference")
            continue;
        const std::string fail = check.CFail(i);
        const size_t id = fail.rfind("Id.#");
        const std::string entity =
            id == std::string::npos ? fail : fail.substr(id + 3, fail.find(')', id) - id - 3);
        throw std::runtime_error(file + " refers to entity " + one_line(entity) +
                                 ", which it does not define");
    }
}

} // namespace xr
