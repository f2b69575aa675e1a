#include "render/cli/preflight.h"

#include "render/output/output_file.h"
#include "render/output/tile.h"
#include "render/setup/model_loader.h"
#include "render/setup/scene_file.h"
#include "render/setup/step_loader.h"
#include "render/util/error.h"
#include "render/util/program_version.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

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

// The window of the frame the options ask for, which only a still has.
void describe_window(const RenderOptions& o, SceneDescription& d) {
    if (!o.region && !o.tile)
        return;
    const RenderSettings& s = d.settings;
    const std::string option =
        o.region ? "--region " + std::to_string(o.region->x0) + "," + std::to_string(o.region->y0) +
                       "," + std::to_string(o.region->x1) + "," + std::to_string(o.region->y1)
                 : "--tile " + std::to_string(o.tile->index) + "/" + std::to_string(o.tile->count);
    if (d.camera.turntable > 0)
        throw Error({"", option},
                    "a tile is a window of a still; a turntable is split with --frames");
    try {
        const PixelRegion region = o.region ? *o.region : band_region(*o.tile, s.width, s.height);
        check_region(region, s.width, s.height);
        d.settings.region = region;
    } catch (const std::runtime_error& e) {
        throw Error({"", option}, e.what());
    }
}

// What a tile's file records: what merge needs to put the frame together
// again and to refuse tiles of other renders, and --skip-existing to leave
// only tiles of this one. The scene file states all that decides the pixels
// but the window and the contents of its model files, and the program's
// version and the shader library what they make of them, as a farm's
// machines may be upgraded, and a model saved again, while a frame renders;
// an instruction set named for Embree traces otherwise than another. As
// CBOR, which holds a file name of any bytes as they are, where JSON text
// holds UTF-8 alone.
std::string tile_record(const SceneDescription& d, const std::string& shader) {
    const RenderSettings& s = d.settings;
    // A model named on the command line by where the system finds it, so
    // that one file typed two ways is one render, and two files of one name
    // are two; a scene file's are named from its folder, as it states them.
    SceneDescription stated = d;
    if (d.base_dir.empty())
        for (ModelDescription& m : stated.models) {
            std::error_code error;
            const std::filesystem::path found = std::filesystem::weakly_canonical(m.file, error);
            if (!m.file.empty() && !error)
                m.file = std::filesystem::absolute(found, error).string();
        }
    std::string render = std::string(program_version) + "\n";
    if (!s.isa.empty())
        render += "isa " + s.isa + "\n";
    nlohmann::ordered_json::to_cbor(scene_to_json(stated), render);
    for (const ModelDescription& m : d.models)
        if (!m.shape)
            render += "\nmodel " + contents_digest(model_path(m, d.base_dir));
    render += "\nshader " + contents_digest(shader);
    return tile_text({{s.width, s.height, *s.region}, render_digest(render)});
}

// Calls `check` with each file the plan writes.
void each_output(const Preflight& p, const std::function<void(const std::string&)>& check) {
    if (p.plan.sequence() && !p.plan.video)
        for (int frame : p.frames)
            check(p.plan.path(frame));
    else
        check(p.plan.out);
}

// Refuses a file the plan would write that is one the render is read from:
// the scene file, a model's, the shader library or this program, under its
// own name or through a link; and one of `also_written` that is one of them
// but the scene file, or a file the plan writes too. One of them may be the
// scene file: a served page's Save writes the scene over itself.
void check_outputs_not_inputs(const RenderOptions& o, const Preflight& p, const std::string& shader,
                              const std::vector<std::string>& also_written) {
    std::vector<std::string> inputs{shader};
    if (const std::string program = program_path(); !program.empty())
        inputs.push_back(program);
    for (const ModelDescription& model : p.description.models)
        if (!model.shape)
            inputs.push_back(model_path(model, p.description.base_dir));
    for (const std::string& path : also_written)
        check_not_an_input(path, inputs);
    if (!o.scene.empty())
        inputs.push_back(o.scene);
    const FileSet read(inputs), written(also_written);
    auto check = [&](const std::string& out) {
        check_not_an_input(out, read);
        if (const std::string* path = written.find(out))
            throw std::runtime_error("cannot write " + *path + ": the image " + out +
                                     " is written there");
    };
    each_output(p, check);
}

// Refuses a file the plan would write, or one of `also_written`, that is one
// the models' files led their readers to (a glTF's buffers, an OBJ's
// materials), known only once they are read.
void check_outputs_not_read(const Preflight& p, const std::vector<std::string>& also_written,
                            const std::vector<std::string>& also_read) {
    const FileSet read(also_read);
    for (const std::string& path : also_written)
        check_not_an_input(path, read);
    each_output(p, [&](const std::string& out) { check_not_an_input(out, read); });
}

// A line on standard error when adaptive sampling is asked for but no pixel
// can stop early: a scene file's settings may ask it of any --spp, so it is
// no error.
void warn_unadaptive(const RenderSettings& s) {
    const std::string why = unadaptive_warning(s);
    if (!why.empty())
        std::fprintf(stderr, "warning: %s\n", why.c_str());
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
    s.isa = o.isa;
    if (o.background)
        d.environment.background = *o.background;
    d.environment.floor = o.floor.value_or(d.environment.floor);
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
    describe_window(o, d);
    return d;
}

Preflight preflight(const RenderOptions& options, bool skip_existing,
                    const std::vector<std::string>& also_written) {
    Preflight p;
    p.description = describe(options);
    p.plan = plan_output(options.output, p.description.camera.turntable);
    const std::string shader = options.shader.empty() ? default_shader_path() : options.shader;
    if (p.description.settings.region)
        p.plan.tile = tile_record(p.description, shader);
    check_frame_fits(p.plan, p.description.settings);
    if (p.plan.video)
        check_video_frame(*p.plan.video, p.description.settings.width,
                          p.description.settings.height, "--out " + p.plan.out);
    p.frames = frames_to_render(p.plan, p.description.settings, skip_existing);
    if (p.frames.empty()) // every frame is there: nothing to load
        return p;
    check_outputs_not_inputs(options, p, shader, also_written);
    check_frames_writable(p.plan, p.frames);
    for (const std::string& path : also_written)
        check_writable(path);
    p.library = std::make_unique<ShaderLibrary>(shader);
    std::vector<std::string> also_read;
    p.parts = load_parts(p.description, &also_read);
    check_outputs_not_read(p, also_written, also_read);
    warn_unadaptive(p.description.settings);
    return p;
}

} // namespace xr
