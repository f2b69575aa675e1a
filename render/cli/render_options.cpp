#include "render/cli/render_options.h"

#include "render/cli/option_values.h"
#include "render/image/passes.h"
#include "render/output/frame_sequence.h"
#include "render/sample_bounds.h"
#include "render/util/text.h"

#include <stdexcept>

namespace xr {

namespace {

// An option given any number of times, one value each time: CLI11 would
// otherwise read a value "[a,b]" as two and "[]" as none, taking the next
// argument in its place.
void repeatable(CLI::Option* option) {
    option->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args(false);
}

} // namespace

RenderOptionParser::RenderOptionParser(CLI::App& app, RenderOptions& o)
    : app_(app), o_(o), material_(app) {
    auto* scene =
        app.add_option("--scene", o.scene, "render this scene file (JSON)")->check(a_file_name());
    app.add_option("--model,--obj", o.model,
                   "render this model in the studio: OBJ, glTF, GLB, STL, PLY, FBX, COLLADA, "
                   "3MF, STEP, ...")
        ->check(a_file_name())
        ->excludes(scene);
    tessellation_ = app.add_option(
        "--tessellation", tessellation_text_,
        "how finely STEP models are meshed: LINEAR,ANGULAR, the most a triangle may lie off the "
        "surface (metres) and the most its normals may turn (degrees) (default: " +
            number_text(float(relative_linear_deflection)) +
            " times the diagonal of each shape's bounds, and " +
            number_text(Tessellation{}.angular) + ")");
    repeatable(
        app.add_option("--xray", o.xray,
                       "the parts matching this glob wear the x-ray material; repeatable (default: "
                       "the whole model)"));
    list_parts_ =
        app.add_flag("--list-parts", o.list_parts,
                     "list the parts with their ids, triangle counts and colours, and exit");
    app.add_option("-o,--out", o.output.out,
                   "image or video to write: OpenEXR for NAME.exr, a video for " + video_names() +
                       ", else PNG; for a turntable's frames, hashes stand for the frame number")
        ->capture_default_str()
        ->check(a_file_name());
    // Shown as the defaults; given, they override a scene file's settings.
    width_ = app.add_option("--width", settings_.width, "image width in pixels")
                 ->capture_default_str()
                 ->check(whole_number_within(1, max_image_side));
    height_ = app.add_option("--height", settings_.height, "image height in pixels")
                  ->capture_default_str()
                  ->check(whole_number_within(1, max_image_side));
    samples_ = app.add_option("--spp", settings_.samples,
                              "jittered samples per pixel; with --adaptive, the most a pixel takes")
                   ->capture_default_str()
                   ->check(whole_number_within(1, max_samples));
    seed_ = app.add_option("--seed", settings_.seed, "seed of the sampling pattern")
                ->capture_default_str();
    // Adaptive sampling; given, they override a scene file's settings too.
    adaptive_ = app.add_flag("--adaptive,!--no-adaptive", adaptive_flag_,
                             "sample each pixel until its noise is small enough (see --noise), "
                             "taking from --min-spp to --spp samples");
    noise_ = app.add_option("--noise", settings_.noise,
                            "with --adaptive: the noise threshold, in steps of an 8-bit image "
                            "(the largest standard error of a pixel's channels as a display "
                            "shows them); a pixel that needs many samples keeps up to " +
                                number_text(most_leeway) + " times it")
                 ->capture_default_str()
                 ->check(number_within(0.0f, max_noise));
    min_samples_ = app.add_option("--min-spp", settings_.min_samples,
                                  "with --adaptive: the samples every pixel takes before its "
                                  "noise is judged")
                       ->capture_default_str()
                       ->check(whole_number_within(1, max_samples));
    app.add_option("--threads", o.threads, "rendering threads, 0 for every core")
        ->capture_default_str()
        ->check(whole_number_within(0, 1 << 16));
    app.add_option("--isa", o.isa,
                   "the instruction set Embree traces with; by default the widest this CPU has. "
                   "Each traces a few hits differently in the last bit: machines that must "
                   "render the same bytes (a farm's nodes, tests) name one")
        ->check(CLI::IsMember(
            std::vector<std::string>(std::begin(instruction_sets), std::end(instruction_sets))));
    app.add_option("--shader", o.shader,
                   "shader library to load (default: the one installed with this program)")
        ->check(a_file_name());
    app.add_flag("-v,--verbose", o.verbose,
                 "also report load and build times, triangles and peak memory");

    background_ =
        app.add_option("--background", background_text_,
                       "what is seen behind the models: studio, transparent, or a colour r,g,b "
                       "(linear); overrides the scene's");
    floor_ = app.add_flag("--floor,!--no-floor", floor_flag_,
                          "the studio's checkered floor under the models, which fills the view "
                          "behind them; overrides the scene's");
    std::string pass_names;
    for (const PassLayout& layout : pass_layouts)
        pass_names += (pass_names.empty() ? "" : ", ") + std::string(layout.name);
    repeatable(app.add_option("--aov", aov_,
                              "render passes to add to an OpenEXR output: " + pass_names +
                                  " (comma-separated)"));
    turntable_ = app.add_option("--turntable", turntable_frames_,
                                "render N frames with the camera orbiting the target once; "
                                "--out then names the frames with hashes: name_####.png")
                     ->check(whole_number_within(1, max_turntable_frames));
    frames_ = app.add_option("--frames", frames_text_,
                             "render only frames A to B of the turntable (A-B, or A)");
    skip_existing_ = app.add_flag("--skip-existing", o.output.skip_existing,
                                  "leave the output files that exist (files appear only whole)");

    // Videos, and one frame split between processes.
    fps_ = app.add_option("--fps", o.output.video.fps,
                          "frames a second of a video: --out " + video_names())
               ->capture_default_str()
               ->check(number_within(min_fps, max_fps));
    quality_ = app.add_option("--quality", o.output.video.quality,
                              "a video's constant quality, 0 to 100 (best): " + crf_scales())
                   ->capture_default_str()
                   ->check(whole_number_within(0, max_video_quality));
    region_ = app.add_option("--region", region_text_,
                             "render only this window of the frame, X0,Y0,X1,Y1 in pixels (the "
                             "right and bottom ends excluded); xray-render merge joins the tiles");
    tile_ = app.add_option("--tile", tile_text_,
                           "render only band I of N of the frame (I/N, from the top); "
                           "xray-render merge joins the tiles")
                ->excludes(region_);
}

bool RenderOptionParser::given() const {
    for (const CLI::Option* option : app_.get_options())
        if (option->count() > 0)
            return true;
    return false;
}

void RenderOptionParser::read() {
    material_.read(o_.material);
    o_.material_given = material_.given();
    if (o_.material_given && o_.model.empty() && o_.xray.empty())
        throw CLI::ValidationError("the material options set what the parts named by --xray "
                                   "wear, or a model's; name the parts");
    if (width_->count())
        o_.width = settings_.width;
    if (height_->count())
        o_.height = settings_.height;
    if (samples_->count())
        o_.samples = settings_.samples;
    if (seed_->count())
        o_.seed = settings_.seed;
    if (adaptive_->count())
        o_.adaptive = adaptive_flag_;
    if (noise_->count())
        o_.noise = settings_.noise;
    if (min_samples_->count())
        o_.min_samples = settings_.min_samples;
    if (floor_->count())
        o_.floor = floor_flag_;
    if (background_->count()) {
        o_.background = parse_background(background_text_);
        if (!o_.background)
            throw CLI::ValidationError("--background " + background_text_ +
                                       ": expected studio, transparent or r,g,b, each a number "
                                       "from 0 to " +
                                       number_text(max_color));
    }
    if (!aov_.empty()) {
        std::string passes;
        for (const std::string& list : aov_)
            passes += (passes.empty() ? "" : ",") + list;
        try {
            o_.output.passes = parse_passes(passes);
        } catch (const std::runtime_error& e) {
            throw CLI::ValidationError("--aov " + passes + ": " + e.what());
        }
        if (format_for(o_.output.out) != ImageFormat::exr)
            throw CLI::ValidationError("--aov: passes are written only into OpenEXR (--out "
                                       "NAME.exr), not into " +
                                       o_.output.out);
    }
    if (turntable_->count())
        o_.turntable = turntable_frames_;
    if (tessellation_->count()) {
        o_.tessellation = parse_tessellation(tessellation_text_);
        if (!o_.tessellation)
            throw CLI::ValidationError("--tessellation " + tessellation_text_ +
                                       ": expected LINEAR,ANGULAR, a length within " +
                                       length_range() + " and degrees within [" +
                                       number_text(min_angular_deflection) + ", " +
                                       number_text(max_angular_deflection) + "]");
    }
    if (frames_->count()) {
        try {
            o_.output.frames = parse_frame_range(frames_text_);
        } catch (const std::runtime_error& e) {
            throw CLI::ValidationError("--frames " + frames_text_ + ": " + e.what());
        }
    }
    read_video_and_tiles();
}

void RenderOptionParser::read_video_and_tiles() {
    bool video = false;
    try {
        video = video_format_for(o_.output.out) != nullptr;
    } catch (const std::runtime_error& e) { // a container not written, whatever the scene
        throw CLI::ValidationError(std::string("--out ") + e.what());
    }
    // Hashes, if any, make one run in the file's name, whether or not the
    // scene is a sequence.
    if (!video && o_.output.out.find('#') != std::string::npos) {
        try {
            check_frame_pattern(o_.output.out);
        } catch (const std::runtime_error& e) {
            throw CLI::ValidationError("--out " + o_.output.out + ": " + e.what());
        }
    }
    for (const CLI::Option* option : {fps_, quality_})
        if (option->count() && !video)
            throw CLI::ValidationError(option->get_name() + ": " + o_.output.out +
                                       " is not a video: --out " + video_names());
    try {
        if (region_->count())
            o_.region = parse_region(region_text_);
        if (tile_->count())
            o_.tile = parse_tile_band(tile_text_);
    } catch (const std::runtime_error& e) {
        const bool region = region_->count() > 0;
        throw CLI::ValidationError((region ? "--region " + region_text_ : "--tile " + tile_text_) +
                                   ": " + e.what());
    }
    if (!video)
        return;
    // A video is one file, made whole by one run.
    const std::string out = "--out " + o_.output.out + ": ";
    if (o_.output.out.find('#') != std::string::npos)
        throw CLI::ValidationError(out + "a video holds every frame in one file, whose name "
                                         "takes no hashes");
    if (o_.output.skip_existing)
        throw CLI::ValidationError("--skip-existing: a video is made whole by one run and has no "
                                   "frames to skip; leave it out, or render frames "
                                   "(name_####.png) with it and encode them into " +
                                   o_.output.out);
    if (o_.region || o_.tile)
        throw CLI::ValidationError(out + "a tile is written as a PNG or an OpenEXR, not into a "
                                         "video");
}

} // namespace xr
