#include "render/setup/three_mf_check.h"

#include "render/setup/model_file_check.h"
#include "render/setup/node_expansion.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace xr {

namespace {

using std::to_string;

// Elements are taken by their names without a namespace's prefix: the
// importer reads some elements of the materials extension by theirs.
std::string_view local_name(const pugi::xml_node& node) {
    const std::string_view name = node.name();
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node first_child(const pugi::xml_node& node, std::string_view name) {
    return node.find_child([&](const pugi::xml_node& child) { return local_name(child) == name; });
}

bool has(const pugi::xml_node& node, const char* attribute) {
    return !node.attribute(attribute).empty();
}

constexpr std::string_view model_relationship =
    "http://schemas.microsoft.com/3dmanufacturing/2013/01/3dmodel";

// An id or an index, read as the importer reads it.
int number(const pugi::xml_node& node, const char* attribute) {
    return std::atoi(node.attribute(attribute).as_string());
}

// A colour the importer keeps in a colour group: "#RRGGBB" or "#RRGGBBAA".
bool is_colour(std::string_view text) {
    return (text.size() == 7 || text.size() == 9) && text[0] == '#';
}

// The entries a group holds that objects and triangles take by index, by the
// group's element: the importer counts these.
struct GroupKind {
    std::string_view group, entry;
    bool colours;
};
constexpr GroupKind group_kinds[] = {{"basematerials", "base", false},
                                     {"texture2dgroup", "tex2coord", false},
                                     {"colorgroup", "color", true}};

// A resource as the importer files it, by its id: the first of an id stays.
struct Resource {
    std::string_view kind; // its element's name
    size_t entries = 0;    // a group's
    size_t object = 0;     // an object's place in ModelCheck::objects_
};

class ModelCheck {
  public:
    explicit ModelCheck(const std::string& path) : path_(path) {}

    // The resources in order, each seeing those before it, as the importer
    // reads them; then the build.
    void check(const pugi::xml_node& model) {
        for (const pugi::xml_node& resource : first_child(model, "resources").children()) {
            if (local_name(resource) == "object")
                read_object(resource);
            for (const GroupKind& kind : group_kinds)
                if (local_name(resource) == kind.group && has(resource, "id"))
                    resources_.try_emplace(number(resource, "id"),
                                           Resource{kind.group, entries(resource, kind)});
        }
        check_build(first_child(model, "build"));
    }

  private:
    static size_t entries(const pugi::xml_node& group, const GroupKind& kind) {
        size_t count = 0;
        for (const pugi::xml_node& entry : group.children())
            count += local_name(entry) == kind.entry &&
                     (!kind.colours || is_colour(entry.attribute("color").as_string()));
        return count;
    }

    void read_object(const pugi::xml_node& object) {
        if (!has(object, "id"))
            return; // the importer leaves it
        const int id = number(object, "id");
        const std::string name = "object " + to_string(id);
        if (has(object, "pid") && has(object, "pindex"))
            check_entry(number(object, "pid"), number(object, "pindex"), name);
        std::vector<int> components;
        for (const pugi::xml_node& part : object.children()) {
            if (local_name(part) == "mesh")
                check_mesh(part, name);
            if (local_name(part) != "components")
                continue;
            for (const pugi::xml_node& component : part.children()) {
                if (local_name(component) != "component")
                    continue;
                check_transform(component, "a component of " + name);
                if (has(component, "objectid"))
                    components.push_back(number(component, "objectid"));
            }
        }
        if (resources_.try_emplace(id, Resource{"object", 0, objects_.size()}).second)
            objects_.push_back({id, std::move(components)});
    }

    // The importer takes entry `index` of the group `id` (if that is a group).
    void check_entry(int id, int index, const std::string& taker) const {
        const auto found = resources_.find(id);
        if (found == resources_.end() || found->second.kind == "object")
            return;
        if (index < 0 || size_t(index) >= found->second.entries)
            refuse(taker + " takes entry " + to_string(index) + " of " +
                   std::string(found->second.kind) + " " + to_string(id) + ", which has " +
                   to_string(found->second.entries));
    }

    // Triangles use the vertices listed before them.
    void check_mesh(const pugi::xml_node& mesh, const std::string& object) const {
        size_t vertices = 0, triangle = 0;
        for (const pugi::xml_node& part : mesh.children()) {
            if (local_name(part) == "vertices") {
                vertices = 0;
                for (const pugi::xml_node& vertex : part.children())
                    vertices += local_name(vertex) == "vertex";
            }
            if (local_name(part) != "triangles")
                continue;
            for (const pugi::xml_node& t : part.children()) {
                if (local_name(t) != "triangle")
                    continue;
                const std::string name = "triangle " + to_string(triangle++) + " of " + object;
                for (const char* corner : {"v1", "v2", "v3"})
                    if (const int v = number(t, corner); v < 0 || size_t(v) >= vertices)
                        refuse(name + " uses vertex " + to_string(v) + " of " +
                               to_string(vertices));
                if (!has(t, "pid"))
                    continue;
                for (const char* corner : {"p1", "p2", "p3"})
                    // Unset, or -1: no entry.
                    if (const int p = t.attribute(corner).as_int(-1); p != -1)
                        check_entry(number(t, "pid"), p, name);
            }
        }
    }

    // The importer reads a transform's first 12 numbers, as many as there are.
    void check_transform(const pugi::xml_node& node, const std::string& whose) const {
        const pugi::xml_attribute transform = node.attribute("transform");
        if (transform.empty())
            return;
        const std::string_view text = transform.as_string();
        size_t numbers = 0;
        for (size_t at = 0; at < text.size();) {
            const size_t end = std::min(text.find(' ', at), text.size());
            numbers += end > at;
            at = end + 1;
        }
        if (numbers < 12)
            refuse("the transform of " + whose + " has " + to_string(numbers) + " numbers, not 12");
    }

    // The importer builds every use of an object, its components' in turn.
    void check_build(const pugi::xml_node& build) const {
        std::vector<size_t> items;
        size_t item = 0;
        for (const pugi::xml_node& node : build.children()) {
            if (local_name(node) != "item")
                continue;
            check_transform(node, "item " + to_string(item++));
            if (const auto found = object(node, "objectid"))
                items.push_back(*found);
        }
        NodeUses uses(objects_.size());
        for (size_t n = 0; n < objects_.size(); ++n)
            for (const int id : objects_[n].components)
                if (const auto found = object(id))
                    uses[n].push_back(*found);
        const Expanded expanded = expand_nodes(uses, items, Counted::every_node, max_node_depth);
        const ExpansionFault& fault = expanded.fault;
        auto name = [&](size_t n) { return "object " + to_string(objects_[n].id); };
        switch (fault.kind) {
        case ExpansionFault::Kind::none:
            break;
        case ExpansionFault::Kind::loop:
            refuse(name(fault.node) + " contains itself" +
                   (fault.through == fault.node ? "" : ", through " + name(fault.through)));
        case ExpansionFault::Kind::too_deep:
            refuse("components nest deeper than " + to_string(max_node_depth) + " levels, at " +
                   name(fault.node));
        case ExpansionFault::Kind::too_many:
            refuse("the build expands to more than " + to_string(max_expanded_nodes) +
                   " objects through their components, at " + name(fault.node));
        }
        size_t built = 0;
        for (const size_t n : items)
            built += expanded.nodes[n].count;
        if (built > max_expanded_nodes)
            refuse("the build expands to more than " + to_string(max_expanded_nodes) +
                   " objects through their components");
    }

    std::optional<size_t> object(int id) const {
        const auto found = resources_.find(id);
        if (found == resources_.end() || found->second.kind != "object")
            return std::nullopt;
        return found->second.object;
    }
    std::optional<size_t> object(const pugi::xml_node& node, const char* attribute) const {
        return has(node, attribute) ? object(number(node, attribute)) : std::nullopt;
    }

    [[noreturn]] void refuse(const std::string& why) const {
        throw std::runtime_error(path_ + ": " + why);
    }

    struct Object {
        int id;
        std::vector<int> components; // the ids of the objects they use
    };

    const std::string& path_;
    std::map<int, Resource> resources_;
    std::vector<Object> objects_; // those filed, in order
};

} // namespace

std::optional<std::string> model_part_name(const std::string& relationships) {
    pugi::xml_document document;
    if (!document.load_string(relationships.c_str(), pugi::parse_full))
        return std::nullopt;
    for (const pugi::xml_node& list : document.children("Relationships"))
        for (const pugi::xml_node& r : list.children("Relationship")) {
            const std::string_view id = r.attribute("Id").as_string();
            const std::string_view type = r.attribute("Type").as_string();
            const std::string_view target = r.attribute("Target").as_string();
            if (!id.empty() && !target.empty() && type == model_relationship)
                return std::string(
                    target.substr(std::min(target.find_first_not_of('/'), target.size())));
        }
    return std::nullopt;
}

void check_3mf_model(const std::string& text, const std::string& path) {
    pugi::xml_document document;
    // As the importer parses it: up to a NUL, as UTF-8.
    if (!document.load_string(text.c_str(), pugi::parse_full))
        return;
    ModelCheck(path).check(first_child(document, "model"));
}

} // namespace xr
