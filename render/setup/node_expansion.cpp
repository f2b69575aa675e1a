#include "render/setup/node_expansion.h"

#include "render/setup/model_file_check.h"

#include <algorithm>

namespace xr {

Expanded expand_nodes(const NodeUses& uses, const std::vector<size_t>& starts, Counted counted,
                      int max_levels) {
    using Kind = ExpansionFault::Kind;
    enum class State : char { unseen, open, done };
    std::vector<State> states(uses.size(), State::unseen);
    Expanded result;
    result.nodes.resize(uses.size());
    // The path of open nodes, each with the next of its uses to visit.
    std::vector<std::pair<size_t, size_t>> path;
    auto open = [&](size_t node) {
        states[node] = State::open;
        result.nodes[node].count = counted == Counted::every_node || uses[node].empty();
        path.push_back({node, 0});
    };
    // A node is walked once, and what it expands to added to each node that
    // uses it.
    auto add = [&](size_t to, size_t from) {
        Expansion& whole = result.nodes[to];
        const Expansion& part = result.nodes[from];
        whole.levels = std::max(whole.levels, part.levels + 1);
        whole.count = std::min(whole.count + part.count, max_expanded_nodes + 1);
        if (whole.count > max_expanded_nodes)
            return Kind::too_many;
        return whole.levels > max_levels ? Kind::too_deep : Kind::none;
    };
    for (const size_t start : starts) {
        if (states[start] == State::unseen)
            open(start);
        while (!path.empty()) {
            const size_t node = path.back().first;
            if (path.back().second == uses[node].size()) {
                states[node] = State::done;
                path.pop_back();
                if (!path.empty())
                    if (const Kind kind = add(path.back().first, node); kind != Kind::none)
                        result.fault = {kind, path.back().first};
            } else {
                const size_t next = uses[node][path.back().second++];
                if (states[next] == State::unseen)
                    open(next);
                else if (states[next] == State::open)
                    result.fault = {Kind::loop, next, node};
                else if (const Kind kind = add(node, next); kind != Kind::none)
                    result.fault = {kind, node};
            }
            if (result.fault.kind != Kind::none)
                return result;
        }
    }
    return result;
}

} // namespace xr
