#include "render/setup/step_structure.h"

#include "render/setup/model_file_check.h"
#include "render/util/text.h"

#include <Interface_Check.hxx>
#include <StepBasic_Product.hxx>
#include <StepBasic_ProductDefinition.hxx>
#include <StepBasic_ProductDefinitionFormation.hxx>
#include <StepData_StepModel.hxx>
#include <StepRepr_NextAssemblyUsageOccurrence.hxx>

#include <algorithm>
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

struct Node {
    std::vector<Definition> children;
    enum class State { unseen, open, done } state = State::unseen;
    int height = 1;    // levels from this one down, itself counted, once done
    size_t leaves = 0; // uses of parts from this one down, up to max_expanded_nodes + 1
    bool used = false; // a part of another
};

} // namespace

void check_product_structure(const StepData_StepModel& model, const std::string& file) {
    std::unordered_map<Definition, Node> nodes;
    std::vector<Definition> wholes;
    for (int i = 1; i <= model.NbEntities(); ++i) {
        const auto* link =
            dynamic_cast<const StepRepr_NextAssemblyUsageOccurrence*>(model.Value(i).get());
        if (!link)
            continue;
        const Definition whole = link->RelatingProductDefinition().get();
        const Definition part = link->RelatedProductDefinition().get();
        if (!whole || !part)
            continue;
        wholes.push_back(whole);
        nodes[whole].children.push_back(part);
        nodes[part].used = true;
    }
    auto too_deep = [&](Definition at) {
        return std::runtime_error(file + ": the assembly nests deeper than " +
                                  std::to_string(max_node_depth) + " levels, at product '" +
                                  product_name(at) + "'");
    };
    // Every use of a product below another adds its leaves again: what the
    // reader expands, counted here once for each product.
    auto add_leaves = [&](size_t& sum, size_t more, Definition at) {
        sum = std::min(sum + more, max_expanded_nodes + 1);
        if (sum > max_expanded_nodes)
            throw std::runtime_error(file + ": the assembly expands to more than " +
                                     std::to_string(max_expanded_nodes) + " parts" +
                                     (at ? ", at product '" + product_name(at) + "'" : ""));
    };
    size_t leaves = 0; // of the whole file
    // Depth first from every assembly, without recursion: the path of open
    // nodes, each with the next of its children to visit.
    std::vector<std::pair<Definition, size_t>> path;
    for (Definition start : wholes) {
        if (nodes.at(start).state != Node::State::unseen)
            continue;
        nodes.at(start).state = Node::State::open;
        path.push_back({start, 0});
        while (!path.empty()) {
            const Definition definition = path.back().first;
            Node& node = nodes.at(definition);
            if (path.back().second == node.children.size()) {
                node.state = Node::State::done;
                if (node.children.empty())
                    node.leaves = 1;
                path.pop_back();
                if (!path.empty()) {
                    Node& parent = nodes.at(path.back().first);
                    add_leaves(parent.leaves, node.leaves, path.back().first);
                    parent.height = std::max(parent.height, node.height + 1);
                    if (parent.height > max_node_depth)
                        throw too_deep(path.back().first);
                }
                continue;
            }
            const Definition child = node.children[path.back().second++];
            Node& below = nodes.at(child);
            if (below.state == Node::State::open)
                throw std::runtime_error(
                    file + ": product '" + product_name(child) + "' contains itself" +
                    (child == definition ? std::string()
                                         : ", through '" + product_name(definition) + "'"));
            if (below.state == Node::State::done) {
                add_leaves(node.leaves, below.leaves, definition);
                node.height = std::max(node.height, below.height + 1);
                if (node.height > max_node_depth)
                    throw too_deep(definition);
                continue;
            }
            below.state = Node::State::open;
            path.push_back({child, 0});
        }
        // The reader transfers every assembly that is no other's part.
        if (!nodes.at(start).used)
            add_leaves(leaves, nodes.at(start).leaves, nullptr);
    }
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
