#include "render/serve/scene_edit.h"

#include "render/setup/json_keys.h"
#include "render/setup/scene_file.h"
#include "render/util/error.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <vector>

namespace xr {

namespace {

using nlohmann::ordered_json;

// More than any page sends at once; bounds the work a request can ask for.
constexpr size_t max_operations = 64;

// The keys of a JSON pointer; escapes (~) are refused, as no key the preview
// changes needs them.
std::vector<std::string> keys_of(const std::string& path) {
    if (path.empty() || path[0] != '/' || path.find('~') != std::string::npos)
        return {};
    std::vector<std::string> keys;
    for (size_t start = 1;;) {
        const size_t slash = path.find('/', start);
        keys.push_back(path.substr(start, slash - start));
        if (slash == std::string::npos)
            return keys;
        start = slash + 1;
    }
}

// The index an array key names, or -1: digits without a leading zero.
long index_of(const std::string& key) {
    if (key.empty() || key.size() > 9 || (key[0] == '0' && key.size() > 1) ||
        key.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return std::stol(key);
}

// Throws EditError, after `at`, unless the operation on this path may be made
// on this scene.
void check_edit_path(const std::string& at, const std::string& path,
                     const std::optional<ordered_json>& value, const SceneDescription& scene) {
    const std::vector<std::string> k = keys_of(path);
    auto refuse = [&](const std::string& why) { throw EditError(at + path + ": " + why); };
    if (k.size() == 4 && k[0] == "assign" && k[2] == "xray") {
        const long a = index_of(k[1]);
        if (a < 0 || size_t(a) >= scene.assign.size() ||
            scene.assign[size_t(a)].look != Assignment::Look::xray)
            refuse("/assign/" + k[1] + " is not an x-ray material");
        const ParamDeclaration* p = xray_declaration().find(k[3]);
        if (!p || derived_by_host(*p))
            refuse("the x-ray shader has no parameter '" + k[3] + "'");
        return;
    }
    if (k.size() == 2 && k[0] == "environment" && (k[1] == "background" || k[1] == "floor"))
        return;
    if (k.size() == 2 && k[0] == "settings" && (k[1] == "adaptive" || k[1] == "noise"))
        return;
    // A framing glob could match no part, and the scene not build.
    if (k.size() == 2 && k[0] == "camera") {
        if (k[1] == "eye" || k[1] == "target" || k[1] == "fov" ||
            ((k[1] == "frame" || k[1] == "from") && !value))
            return;
        refuse("the preview places the camera by \"eye\", \"target\" and \"fov\"");
    }
    refuse("the preview changes /assign/N/xray/NAME of an x-ray material, "
           "/environment/background, /environment/floor, /settings/adaptive, /settings/noise "
           "and /camera/eye, target and fov");
}

struct Operation {
    std::string path;                            // a JSON pointer into the scene file
    std::optional<nlohmann::ordered_json> value; // none: remove, back to the default
};

// Each value is checked as the scene reader checks a file: its type, range and names.
SceneDescription edited(const SceneDescription& scene, const std::vector<Operation>& operations) {
    ordered_json j = scene_to_json(scene);
    for (const Operation& op : operations) {
        const size_t slash = op.path.find_last_of('/');
        ordered_json& parent = j[ordered_json::json_pointer(op.path.substr(0, slash))];
        const std::string key = op.path.substr(slash + 1);
        if (op.value)
            parent[key] = *op.value;
        else
            parent.erase(key);
    }
    SceneDescription d = read_scene(j, "request", scene.base_dir);
    // What a scene file does not hold.
    d.source = scene.source;
    d.settings.threads = scene.settings.threads;
    d.settings.isa = scene.settings.isa;
    return d;
}

} // namespace

SceneDescription edit_scene(const std::string& body, const SceneDescription& scene) {
    ordered_json request;
    if (!nesting_within_limit(body))
        throw EditError("cannot read the request: " + nesting_refusal());
    try {
        request = ordered_json::parse(body);
    } catch (const ordered_json::exception& e) {
        // Syntax, or a number beyond a double's range; without nlohmann's code.
        const std::string what = e.what();
        throw EditError("cannot read the request: " + what.substr(what.find("] ") + 2));
    }
    // The parser keeps the last of a key given twice, which a scene file refuses.
    try {
        KeyTracker keys("request", "an edit states each key once");
        check_keys(body, keys);
    } catch (const Error& e) {
        throw EditError(e.what());
    }
    if (!request.is_array() || request.empty() || request.size() > max_operations)
        throw EditError("expected a JSON Patch: an array of 1 to " +
                        std::to_string(max_operations) + " operations");
    std::vector<Operation> operations;
    for (size_t i = 0; i < request.size(); ++i) {
        const ordered_json& o = request[i];
        const std::string at = "operation " + std::to_string(i) + ": ";
        if (!o.is_object() || !o.contains("op") || !o.contains("path") || !o["op"].is_string() ||
            !o["path"].is_string())
            throw EditError(at + "expected {\"op\": ..., \"path\": ..., \"value\": ...}");
        const std::string op = o["op"], path = o["path"];
        Operation operation{path, std::nullopt};
        if (op == "add" || op == "replace") {
            if (!o.contains("value"))
                throw EditError(at + path + ": \"" + op + "\" needs a \"value\"");
            operation.value = o["value"];
        } else if (op != "remove") {
            throw EditError(at + "'" + op +
                            "' is not an operation the preview makes: it adds, "
                            "replaces and removes");
        }
        check_edit_path(at, path, operation.value, scene);
        operations.push_back(std::move(operation));
    }
    try {
        return edited(scene, operations);
    } catch (const std::runtime_error& e) {
        throw EditError(e.what());
    }
}

} // namespace xr
