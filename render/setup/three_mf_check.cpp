#include "render/setup/three_mf_check.h"

#include "render/setup/archive_check.h"
#include "render/setup/model_file_check.h"
#include "render/setup/node_expansion.h"
#include "render/util/system_memory.h"
#include "render/util/text.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace xr {

namespace {

using std::to_string;

constexpr std::string_view model_relationship =
    "http://schemas.microsoft.com/3dmanufacturing/2013/01/3dmodel";

// Elements go by the importer's exact names, prefixes and all: it skips any
// other, so one of another name must not count here.
bool named(const pugi::xml_node& node, std::string_view name) {
    return node.name() == name;
}

bool has(const pugi::xml_node& node, const char* attribute) {
    return !node.attribute(attribute).empty();
}

// Most ids and indices, as the importer reads them: by atoi.
int number(const pugi::xml_node& node, const char* attribute) {
    return std::atoi(node.attribute(attribute).as_string());
}

size_t children_named(const pugi::xml_node& node, std::string_view name) {
    return size_t(std::count_if(node.begin(), node.end(),
                                [&](const pugi::xml_node& child) { return named(child, name); }));
}

// What the parser holds, counted on the thread that parses: the importer's own
// copy of the parser holds as much for the same text. An allocation beyond the
// budget fails, and the parse with it.
struct ParseMemory {
    size_t held = 0, peak = 0, budget = SIZE_MAX;
};
thread_local ParseMemory parse_memory;

// Each block starts with its size, for the deallocation, which is not told it.
void* counted_allocate(size_t size) {
    ParseMemory& memory = parse_memory;
    if (size > memory.budget - memory.held)
        return nullptr;
    auto* block = static_cast<std::max_align_t*>(std::malloc(sizeof(std::max_align_t) + size));
    if (block == nullptr)
        return nullptr;
    *reinterpret_cast<size_t*>(block) = size;
    memory.held += size;
    memory.peak = std::max(memory.peak, memory.held);
    return block + 1;
}

void counted_deallocate(void* data) {
    if (data == nullptr)
        return;
    auto* block = static_cast<std::max_align_t*>(data) - 1;
    parse_memory.held -= *reinterpret_cast<size_t*>(block);
    std::free(block);
}

// Only this file uses this copy of the parser: its allocations are counted
// from the start.
const bool counted_parsing =
    (pugi::set_memory_management_functions(counted_allocate, counted_deallocate), true);

// Parses as the importer does: up to a NUL, as UTF-8; in place, with at most
// `budget` bytes more held.
pugi::xml_parse_status parse(pugi::xml_document& document, std::string& text, size_t budget) {
    text.resize(std::strlen(text.c_str()));
    ParseMemory& memory = parse_memory;
    memory.peak = memory.held;
    memory.budget = budget > SIZE_MAX - memory.held ? SIZE_MAX : memory.held + budget;
    const pugi::xml_parse_status status =
        document
            .load_buffer_inplace(text.data(), text.size(), pugi::parse_full, pugi::encoding_utf8)
            .status;
    memory.budget = SIZE_MAX;
    return status;
}

struct MeshCounts {
    size_t vertices = 0, triangles = 0;
};

// What the importer holds for each vertex and triangle it copies out of the
// parse, at most: a vertex in a growing list, then in the mesh; a face and its
// three indices in a growing list, copied whole as it grows, then in the mesh.
constexpr double bytes_a_vertex = 36, bytes_a_triangle = 144;

// A resource the importer files by its id; the first of an id stays.
struct Resource {
    enum class Kind { object, materials, coordinates } kind;
    size_t entries = 0; // a group's: materials, or texture coordinates
    size_t object = 0;  // an object's place in ModelCheck::objects_
};

const char* group_name(Resource::Kind kind) {
    return kind == Resource::Kind::materials ? "basematerials" : "texture2dgroup";
}

class ModelCheck {
  public:
    explicit ModelCheck(const ModelPart& part) : path_(part.file), part_(part.name) {}

    // The resources in order, each seeing those before it, as the importer
    // reads them; then the build. Gives the vertices and triangles the
    // importer copies out of the parse.
    MeshCounts check(const pugi::xml_node& model) {
        for (const pugi::xml_node& resource : model.child("resources").children()) {
            if (named(resource, "object"))
                read_object(resource);
            else if (named(resource, "basematerials") && has(resource, "id"))
                resources_.try_emplace(
                    number(resource, "id"),
                    Resource{Resource::Kind::materials, children_named(resource, "base")});
            else if (named(resource, "m:texture2dgroup") && has(resource, "id"))
                resources_.try_emplace(
                    resource.attribute("id").as_int(),
                    Resource{Resource::Kind::coordinates, children_named(resource, "m:tex2coord")});
        }
        if (const pugi::xml_node build = model.child("build"))
            check_build(build);
        return counts_;
    }

  private:
    void read_object(const pugi::xml_node& object) {
        if (!has(object, "id"))
            return; // the importer leaves it
        const int id = number(object, "id");
        const std::string name = "object " + to_string(id);
        std::vector<int> components;
        for (const pugi::xml_node& part : object.children()) {
            if (named(part, "mesh")) {
                check_mesh(part, name);
                if (has(object, "pid") && has(object, "pindex"))
                    check_entry(group(number(object, "pid"), Resource::Kind::materials),
                                number(object, "pindex"), name);
            }
            if (!named(part, "components"))
                continue;
            for (const pugi::xml_node& component : part.children()) {
                if (!named(component, "component"))
                    continue;
                check_transform(component, "a component of " + name);
                check_part(component, name);
                if (has(component, "objectid"))
                    components.push_back(number(component, "objectid"));
            }
        }
        if (resources_.try_emplace(id, Resource{Resource::Kind::object, 0, objects_.size()}).second)
            objects_.push_back({id, std::move(components)});
    }

    // The importer reads the model alone, and takes a component's object from
    // it even where the component names another part of the package (the
    // production extension's path): that object would be missing, or another.
    void check_part(const pugi::xml_node& component, const std::string& object) const {
        for (const pugi::xml_attribute& attribute : component.attributes()) {
            const std::string_view name = attribute.name();
            const bool path = name.size() > 5 && name.substr(name.size() - 5) == ":path";
            if (path && archived_name(attribute.as_string()) != part_)
                refuse(object + " uses object " + component.attribute("objectid").as_string() +
                       " of " + printable(attribute.as_string()) +
                       ", another part of the package, which the importer does not read");
        }
    }

    // The group of `id` when it is of that kind.
    const std::pair<const int, Resource>* group(int id, Resource::Kind kind) const {
        const auto found = resources_.find(id);
        return found != resources_.end() && found->second.kind == kind ? &*found : nullptr;
    }

    void check_entry(const std::pair<const int, Resource>* group, int index,
                     const std::string& taker) const {
        if (group != nullptr && (index < 0 || size_t(index) >= group->second.entries))
            refuse(taker + " takes entry " + to_string(index) + " of " +
                   group_name(group->second.kind) + " " + to_string(group->first) + ", which has " +
                   to_string(group->second.entries));
    }

    // A mesh's first triangle with texture coordinates makes room for the
    // vertices listed before it, and sets those of its corners.
    void check_mesh(const pugi::xml_node& mesh, const std::string& object) {
        size_t vertices = 0, triangle = 0;
        std::optional<size_t> coordinates;
        for (const pugi::xml_node& part : mesh.children()) {
            if (named(part, "vertices")) {
                vertices = children_named(part, "vertex");
                counts_.vertices += vertices;
            }
            if (!named(part, "triangles"))
                continue;
            for (const pugi::xml_node& t : part.children()) {
                if (!named(t, "triangle"))
                    continue;
                const size_t index = triangle++;
                ++counts_.triangles;
                if (!has(t, "pid") || !has(t, "p1"))
                    continue;
                const std::string name = "triangle " + to_string(index) + " of " + object;
                const int pid = number(t, "pid");
                check_entry(group(pid, Resource::Kind::materials), number(t, "p1"), name);
                const auto* texture = group(pid, Resource::Kind::coordinates);
                if (texture == nullptr || coordinates)
                    continue;
                coordinates = vertices;
                for (const char* corner : {"v1", "v2", "v3"})
                    if (const auto v = unsigned(number(t, corner)); v >= vertices)
                        refuse(name + " sets texture coordinates of vertex " + to_string(v) +
                               " of " + to_string(vertices));
                // A corner's entry not given, or -1, is read from just before
                // the group's entries, which there must be; any other must be
                // one of them.
                if (texture->second.entries == 0)
                    refuse(name + " takes texture coordinates of texture2dgroup " +
                           to_string(texture->first) + ", which has none");
                for (const char* corner : {"p1", "p2", "p3"})
                    if (const int p = t.attribute(corner).as_int(-1); p != -1)
                        check_entry(texture, p, name);
            }
        }
        if (coordinates && vertices > *coordinates)
            refuse(object + " lists " + to_string(vertices) + " vertices, after texture " +
                   "coordinates for " + to_string(*coordinates));
    }

    // The importer reads each number between spaces as a float, which must
    // hold it, and then the first 12, as many as there are.
    void check_transform(const pugi::xml_node& node, const std::string& whose) const {
        const pugi::xml_attribute transform = node.attribute("transform");
        if (transform.empty())
            return;
        const std::string_view text = transform.as_string();
        size_t numbers = 0;
        for (size_t at = 0; at < text.size();) {
            const size_t end = std::min(text.find(' ', at), text.size());
            if (end > at) {
                const std::string number(text.substr(at, end - at));
                char* read_to = nullptr;
                errno = 0;
                std::strtof(number.c_str(), &read_to);
                if (read_to == number.c_str() || errno == ERANGE)
                    refuse("the transform of " + whose + " has '" + printable(number) +
                           "', not a number a float holds");
                ++numbers;
            }
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
            if (!named(node, "item"))
                continue;
            // An item without an object takes the id -1.
            const auto found = object(has(node, "objectid") ? number(node, "objectid") : -1);
            if (found) {
                check_transform(node, "item " + to_string(item));
                items.push_back(*found);
            }
            ++item;
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
        if (found == resources_.end() || found->second.kind != Resource::Kind::object)
            return std::nullopt;
        return found->second.object;
    }

    [[noreturn]] void refuse(const std::string& why) const {
        throw std::runtime_error(path_ + ": " + why);
    }

    struct Object {
        int id;
        std::vector<int> components; // the ids of the objects they use
    };

    const std::string& path_;
    const std::string& part_; // the model's name in the package
    MeshCounts counts_;
    std::map<int, Resource> resources_;
    std::vector<Object> objects_; // those filed, in order
};

} // namespace

std::optional<std::string> model_part_name(std::string relationships) {
    pugi::xml_document document;
    if (parse(document, relationships, SIZE_MAX) != pugi::status_ok)
        return std::nullopt;
    for (const pugi::xml_node& list : document.children("Relationships"))
        for (const pugi::xml_node& r : list.children("Relationship")) {
            const std::string_view id = r.attribute("Id").as_string();
            const std::string_view target = r.attribute("Target").as_string();
            if (!id.empty() && !target.empty() &&
                r.attribute("Type").as_string() == model_relationship)
                return std::string(target);
        }
    return std::nullopt;
}

void check_3mf_model(std::string text, const ModelPart& part) {
    const std::string& path = part.file;
    // This holds one of the importer's copies of the text, in place.
    constexpr size_t more_copies = importer_copies_of_text - 1;
    const size_t available = available_memory();
    MeshCounts counts;
    size_t parsed_size = 0;
    {
        pugi::xml_document document;
        const pugi::xml_parse_status status =
            available / more_copies < text.size()
                ? pugi::status_out_of_memory
                : parse(document, text, available - more_copies * text.size());
        if (status == pugi::status_out_of_memory)
            throw std::runtime_error("parsing the model of " + path + " needs more than the " +
                                     to_string(available >> 20) + " MiB available");
        if (status != pugi::status_ok)
            return;
        counts = ModelCheck(part).check(document.child("model"));
        parsed_size = parse_memory.peak;
    }
    check_memory(part.beside + double(more_copies * text.size()) + double(parsed_size) +
                     bytes_a_vertex * double(counts.vertices) +
                     bytes_a_triangle * double(counts.triangles),
                 "reading the model of " + path);
}

} // namespace xr
