#include "render/cli/preflight.h"

#include "render/output/output_file.h"
#include "render/setup/model_loader.h"
#include "render/setup/scene_file.h"
#include "render/setup/step_loader.h"

namespace xr {

namespace {

Assignment xray_assignment(const std::string& glob, const RenderOptions& o, const char* option) {
    Assignment a;
    a.parts = glob;
    a.look = Assignment::Look::xray;
    a.xray = o.material;
    a.where = {"", option};
    return a;
}

} // namespace

SceneDescription describe(const RenderOptions& o) {
    SceneDescription d;
    if (!o.scene.empty()) {
        d = read_scene_file(o.scene);
    } else if (!o.model.empty()) {
        d.models.push_back({});
        d.models[0].file = o.model;
        d.source = o.model;
        if (o.xray.empty())
            d.assign.push_back(xray_assignment("*", o, "--model"));
    } else {
        d = built_in_scene();
    }
    for (const std::string& glob : o.xray)
        d.assign.push_back(xray_assignment(glob, o, "--xray"));
    RenderSettings& s = d.settings;
    s.width = o.width.value_or(s.width);
    s.height = o.height.value_or(s.height);
    s.samples = o.samples.value_or(s.samples);
    s.seed = o.seed.value_or(s.seed);
    s.adaptive = o.adaptive.value_or(s.adaptive);
    s.noise = o.noise.value_or(s.noise);
    s.min_samples = o.min_samples.value_or(s.min_samples);
    s.threads = o.threads;
    if (o.background)
        d.environment.background = *o.background;
    d.camera.turntable = o.turntable.value_or(d.camera.turntable);
    if (o.tessellation) {
        bool applied = false;
        for (ModelDescription& model : d.models)
            if (!model.shape && is_step_file(model.file)) {
                model.tessellation = *o.tessellation;
                applied = true;
            }
        if (!applied)
            throw Error({"", "--tessellation"}, "applies to STEP models, and none is given");
    }
    return d;
}

Preflight preflight(const RenderOptions& options, bool skip_existing,
                    const std::vector<std::string>& also_written) {
    Preflight p;
    p.description = describe(options);
    p.plan = plan_output(options.output, p.description.camera.turntable);
    check_frame_fits(p.plan, p.description.settings);
    p.frames = frames_to_render(p.plan, p.description.settings, skip_existing);
    if (p.frames.empty()) // every frame is there: nothing to load
        return p;
    check_writable(p.plan.path(p.frames.front()));
    for (const std::string& path : also_written)
        check_writable(path);
    p.library = std::make_unique<ShaderLibrary>(options.shader.empty() ? default_shader_path()
                                                                       : options.shader);
    p.parts = load_parts(p.description);
    return p;
}

} // namespace xr
