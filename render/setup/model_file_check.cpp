#include "render/setup/model_file_check.h"

#include "render/setup/json_keys.h"
#include "render/util/error.h"
#include "render/util/regular_file.h"
#include "render/util/text.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <vector>

namespace xr {

namespace {

using nlohmann::json;

// The JSON of a glTF, or nothing for a file of another format: a glTF is
// known by its extension, as the importer is left to know it (see
// has_gltf_extension), or a binary one by its magic. What cannot be checked
// is refused, and so is a key given twice, which the importer reads first
// and a parser could read last.
std::optional<json> gltf_json(const RegularFile& file, const std::string& path) {
    uint8_t head[20] = {};
    const size_t got = file.read_into(head, sizeof head);
    const bool binary = got == sizeof head && std::memcmp(head, "glTF", 4) == 0;
    if (!binary && !has_gltf_extension(path))
        return std::nullopt;
    std::string text;
    if (binary) {
        // Both versions put the JSON's length after the 12-byte header and the
        // JSON itself 8 bytes further.
        uint32_t length = 0;
        std::memcpy(&length, head + 12, sizeof length);
        if (length > file.size() - sizeof head)
            throw Error({path, ""}, "its JSON is said to be longer than the file");
        text = file.read_text(length);
    } else {
        text.assign(reinterpret_cast<const char*>(head), got);
        text += file.read_text(file.size() - got);
    }
    if (!nesting_within_limit(text))
        throw Error({path, ""}, nesting_refusal());
    // Only what is checked here is kept.
    KeyTracker keys(path, "the importer would read the first");
    return check_keys(text, keys, {"asset", "nodes", "buffers", "meshes", "accessors"});
}

// The entries of a glTF 2 array or of a glTF 1 object of named entries, as
// (name, entry) pairs; a child names a node by its index or its name.
std::vector<std::pair<std::string, const json*>> entries(const json& j, const char* key) {
    std::vector<std::pair<std::string, const json*>> out;
    if (!j.contains(key))
        return out;
    const json& list = j.at(key);
    if (list.is_array())
        for (size_t i = 0; i < list.size(); ++i)
            out.emplace_back(std::to_string(i), &list[i]);
    else if (list.is_object())
        for (const auto& [name, entry] : list.items())
            out.emplace_back(name, &entry);
    return out;
}

void check_hierarchy(const json& gltf, const std::string& path) {
    const auto nodes = entries(gltf, "nodes");
    auto index_of = [&](const json& child) -> size_t {
        if (child.is_number_unsigned() && child.get<size_t>() < nodes.size())
            return child.get<size_t>();
        if (child.is_string())
            for (size_t i = 0; i < nodes.size(); ++i)
                if (nodes[i].first == child.get<std::string>())
                    return i;
        throw std::runtime_error(path + " has a node whose child does not exist");
    };
    constexpr size_t none = ~size_t(0);
    std::vector<size_t> parent(nodes.size(), none);
    for (size_t i = 0; i < nodes.size(); ++i) {
        const json& node = *nodes[i].second;
        if (!node.is_object() || !node.contains("children") || !node.at("children").is_array())
            continue;
        for (const json& child : node.at("children")) {
            const size_t c = index_of(child);
            if (parent[c] != none)
                throw std::runtime_error(path + ": node " + nodes[c].first +
                                         " is the child of two nodes");
            parent[c] = i;
        }
    }
    const auto too_deep = [&] {
        return std::runtime_error(path + " has nodes nested more than " +
                                  std::to_string(max_node_depth) + " deep, or in a loop");
    };
    // Each node's depth from its parent's, each found once.
    std::vector<int> depth(nodes.size(), 0);
    std::vector<size_t> chain;
    for (size_t i = 0; i < nodes.size(); ++i) {
        chain.clear();
        for (size_t n = i; n != none && depth[n] == 0; n = parent[n]) {
            chain.push_back(n);
            if (chain.size() > size_t(max_node_depth))
                throw too_deep();
        }
        int d = chain.empty() || parent[chain.back()] == none ? 0 : depth[parent[chain.back()]];
        for (auto n = chain.rbegin(); n != chain.rend(); ++n)
            depth[*n] = ++d;
        if (d > max_node_depth)
            throw too_deep();
    }
}

// A URI as the file name it stands for: %XX decoded.
std::string decoded(const std::string& uri) {
    std::string out;
    for (size_t i = 0; i < uri.size(); ++i) {
        if (uri[i] == '%' && i + 2 < uri.size() && std::isxdigit(uint8_t(uri[i + 1])) &&
            std::isxdigit(uint8_t(uri[i + 2]))) {
            out += char(std::stoi(uri.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += uri[i];
        }
    }
    return out;
}

// Data in the URI itself, or a file in the model's folder or below it: no
// scheme, no absolute path, no step up.
bool stays_in_folder(const std::string& uri) {
    if (uri.rfind("data:", 0) == 0)
        return true;
    const std::string name = decoded(uri);
    const size_t colon = name.find(':');
    if (name.empty() || name[0] == '/' || name[0] == '\\' ||
        (colon != std::string::npos && name.find_first_of("/\\") > colon))
        return false;
    size_t start = 0;
    while (start <= name.size()) {
        const size_t end = std::min(name.find_first_of("/\\", start), name.size());
        if (name.compare(start, end - start, "..") == 0)
            return false;
        start = end + 1;
    }
    return true;
}

// Buffers are read; images are not (parts wear their materials' colours).
void check_buffers(const json& gltf, const std::string& path) {
    for (const auto& [name, buffer] : entries(gltf, "buffers")) {
        if (!buffer->is_object() || !buffer->contains("uri") || !buffer->at("uri").is_string())
            continue;
        const std::string uri = buffer->at("uri");
        if (!stays_in_folder(uri))
            throw std::runtime_error(path + ": buffer " + name + " is read from '" +
                                     utf8_text(uri) + "', outside the model's folder");
    }
}

// The importer's meshes of a glTF 2's primitives, one for each in order, and
// the triangles each primitive's indices make: a list of triangles, a strip
// or a fan (modes 4, 5 and 6). Points and lines are dropped anyway.
std::vector<PrimitiveFaces> primitive_faces(const json& gltf) {
    const json* asset = gltf.contains("asset") ? &gltf.at("asset") : nullptr;
    if (!asset || !asset->is_object() || !asset->contains("version") ||
        !asset->at("version").is_string() ||
        asset->at("version").get<std::string>().rfind("2", 0) != 0)
        return {};
    const auto accessors = entries(gltf, "accessors");
    // What cannot be counted is not: the importer judges it.
    const auto count = [&](const json& primitive) -> std::optional<uint64_t> {
        if (!primitive.contains("indices") || !primitive.at("indices").is_number_unsigned())
            return std::nullopt;
        const auto index = primitive.at("indices").get<uint64_t>();
        if (index >= accessors.size())
            return std::nullopt;
        const json& accessor = *accessors[index].second;
        if (!accessor.is_object() || !accessor.contains("count") ||
            !accessor.at("count").is_number_unsigned())
            return std::nullopt;
        return accessor.at("count").get<uint64_t>();
    };
    std::vector<PrimitiveFaces> out;
    for (const auto& [m, mesh] : entries(gltf, "meshes")) {
        if (!mesh->is_object() || !mesh->contains("primitives") ||
            !mesh->at("primitives").is_array())
            return {};
        const json& primitives = mesh->at("primitives");
        for (size_t p = 0; p < primitives.size(); ++p) {
            const json& primitive = primitives[p];
            const std::optional<uint64_t> indices =
                primitive.is_object() ? count(primitive) : std::nullopt;
            const uint64_t mode = primitive.is_object() && primitive.contains("mode") &&
                                          primitive.at("mode").is_number_unsigned()
                                      ? primitive.at("mode").get<uint64_t>()
                                      : 4;
            std::optional<uint64_t> triangles;
            if (indices && mode == 4)
                triangles = *indices / 3;
            else if (indices && (mode == 5 || mode == 6) && *indices >= 3)
                triangles = *indices - 2;
            out.push_back({"/meshes/" + m + "/primitives/" + std::to_string(p), triangles});
        }
    }
    return out;
}

} // namespace

bool has_gltf_extension(const std::string& path) {
    const std::string extension = lowercase_extension(path);
    return extension == "gltf" || extension == "glb";
}

std::vector<PrimitiveFaces> check_model_file(const std::string& path) {
    const std::optional<json> gltf =
        reading(path, [&] { return gltf_json(RegularFile(path), path); });
    if (!gltf)
        return {};
    check_hierarchy(*gltf, path);
    check_buffers(*gltf, path);
    return primitive_faces(*gltf);
}

} // namespace xr
