#include "render/serve/preview_state.h"

#include "render/setup/scene_file.h"
#include "render/util/embedded_text.h"

#include <map>

namespace xr {

namespace {

using nlohmann::ordered_json;

// The declaration's own entries, less what the host fills in: the page takes
// types, defaults, ranges, slider ranges, enum names and help from there.
ordered_json declared_parameters() {
    const ordered_json declaration = ordered_json::parse(xray_declaration_text);
    ordered_json params = ordered_json::array();
    for (const ordered_json& p : declaration.at("parameters")) {
        const ParamDeclaration* declared = xray_declaration().find(p.at("name"));
        if (declared && !derived_by_host(*declared))
            params.push_back(p);
    }
    return params;
}

// Each x-ray assignment by the glob it assigns to, the same glob twice as
// "glob", "glob#2", ...
ordered_json xray_materials(const SceneDescription& scene) {
    ordered_json materials = ordered_json::array();
    std::map<std::string, int> seen;
    for (size_t i = 0; i < scene.assign.size(); ++i) {
        const Assignment& a = scene.assign[i];
        if (a.look != Assignment::Look::xray)
            continue;
        const int n = ++seen[a.parts];
        materials.push_back({{"name", n == 1 ? a.parts : a.parts + "#" + std::to_string(n)},
                             {"path", "/assign/" + std::to_string(i) + "/xray"}});
    }
    return materials;
}

ordered_json vec(Vec3 v) {
    return {v.x, v.y, v.z};
}

} // namespace

ordered_json camera_json(const Camera& camera) {
    return {{"eye", vec(camera.eye)}, {"target", vec(camera.target)}, {"fov", camera.fov_y}};
}

ordered_json preview_state(const ServedScene& served, const SceneDescription& scene,
                           const Camera& camera, uint64_t edit) {
    static const ordered_json parameters = declared_parameters();
    return {{"edit", edit},
            {"title", served.title},
            {"files", {{"image", served.image.out}, {"scene", served.scene_file}}},
            {"parameters", parameters},
            {"materials", xray_materials(scene)},
            {"lights", light_names(scene)},
            {"scene", scene_to_json(scene)},
            {"camera", camera_json(camera)},
            {"loaded_camera", served.loaded_camera}};
}

} // namespace xr
