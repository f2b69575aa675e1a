#include "render/serve/preview_state.h"

#include "render/setup/scene_file.h"
#include "render/setup/studio.h"
#include "render/util/embedded_text.h"
#include "render/util/text.h"

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
        if (!declared || derived_by_host(*declared))
            continue;
        params.push_back(p);
        // The limits the renderer takes, which bound what multiplies light
        // within the shader's own.
        if (declared->max)
            params.back()["range"][1] = *declared->max;
    }
    return params;
}

// Adaptive sampling's settings, declared as the shader's parameters are.
ordered_json sampling_settings() {
    return ordered_json::array(
        {{{"name", "adaptive"},
          {"type", "boolean"},
          {"default", false},
          {"help", "each pixel samples until its noise is under the threshold, or a little more"}},
         {{"name", "noise"},
          {"type", "float"},
          {"default", default_noise},
          {"range", {0.0f, max_noise}},
          {"soft_range", {0.1f, 4.0f}},
          {"help", "with adaptive sampling: the noise threshold, in 8-bit steps; a pixel that "
                   "needs many samples keeps up to " +
                       number_text(most_leeway) + " times it"}}});
}

// Each x-ray assignment by the glob it assigns to, the same glob twice as
// "glob", "glob#2", ...
std::vector<StateMessage::Material> xray_materials(const SceneDescription& scene) {
    std::vector<StateMessage::Material> materials;
    std::map<std::string, int> seen;
    for (size_t i = 0; i < scene.assign.size(); ++i) {
        const Assignment& a = scene.assign[i];
        if (a.look != Assignment::Look::xray)
            continue;
        const int n = ++seen[a.parts];
        materials.push_back({n == 1 ? a.parts : a.parts + "#" + std::to_string(n),
                             "/assign/" + std::to_string(i) + "/xray"});
    }
    return materials;
}

} // namespace

StateMessage preview_state(const ServedScene& served, const SceneDescription& scene,
                           const Camera& camera, uint64_t edit) {
    static const ordered_json parameters = declared_parameters();
    static const ordered_json sampling = sampling_settings();
    StateMessage state;
    state.edit = edit;
    state.server = served.server;
    state.title = served.title;
    state.image_file = served.image.out;
    state.scene_file = served.scene_file;
    state.parameters = parameters;
    state.sampling = sampling;
    state.sampling_warning = unadaptive_warning(scene.settings);
    state.fov_range[0] = min_fov;
    state.fov_range[1] = max_fov;
    state.materials = xray_materials(scene);
    state.lights = light_names(scene);
    state.scene = scene_to_json(scene);
    state.camera = camera_message(camera);
    state.loaded_camera = camera_message(served.loaded_camera);
    return state;
}

} // namespace xr
