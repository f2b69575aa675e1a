#include "render/setup/step_structure.h"

#include "render/setup/model_file_check.h"

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
    int height = 1; // levels from this one down, itself counted, once done
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
        nodes.try_emplace(part);
    }
    auto too_deep = [&](Definition at) {
        return std::runtime_error(file + ": the assembly nests deeper than " +
                                  std::to_string(max_node_depth) + " levels, at product '" +
                                  product_name(at) + "'");
    };
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
                path.pop_back();
                if (!path.empty()) {
                    Node& parent = nodes.at(path.back().first);
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
                node.height = std::max(node.height, below.height + 1);
                if (node.height > max_node_depth)
                    throw too_deep(definition);
                continue;
            }
            below.state = Node::State::open;
            path.push_back({child, 0});
        }
    }
}

} // namespace xr
