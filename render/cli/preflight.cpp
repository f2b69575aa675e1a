#include "render/cli/options.h"

#include "render/setup/scene_file.h"
#include "render/util/embedded_text.h"

namespace xr {

SceneDescription describe(const Options& o) {
    SceneDescription d;
    if (!o.scene.empty()) {
        d = read_scene_file(o.scene);
    } else if (!o.model.empty()) {
        d.models.push_back({});
        d.models[0].file = o.model;
        d.source = o.model;
        if (o.xray.empty()) {
            Assignment whole;
            whole.parts = "*";
            whole.look = Assignment::Look::xray;
            whole.xray = o.material;
            whole.where = "--model";
            d.assign.push_back(whole);
        }
    } else {
        d = parse_scene(default_scene_text, "built-in scene", "");
    }
    for (const std::string& glob : o.xray) {
        Assignment a;
        a.parts = glob;
        a.look = Assignment::Look::xray;
        a.xray = o.material;
        a.where = "--xray";
        d.assign.push_back(a);
    }
    RenderSettings& s = d.settings;
    s.width = o.width.value_or(s.width);
    s.height = o.height.value_or(s.height);
    s.samples = o.samples.value_or(s.samples);
    s.seed = o.seed.value_or(s.seed);
    s.threads = o.threads;
    if (o.background)
        d.environment.background = *o.background;
    d.camera.turntable = o.turntable.value_or(d.camera.turntable);
    return d;
}

} // namespace xr
