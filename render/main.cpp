// xray-render: a small ray-tracing host for the x-ray shader library.
#include "render/cli.h"
#include "render/compare_command.h"
#include "render/interrupt.h"
#include "render/output_file.h"
#include "render/output_plan.h"
#include "render/progress_bar.h"
#include "render/renderer.h"
#include "render/scene_builder.h"
#include "render/scene_file.h"
#include "render/shader_library.h"
#include "render/system_memory.h"
#include "render/turntable.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void list_parts(const std::vector<xr::Part>& parts) {
    size_t width = 4;
    for (const xr::Part& part : parts)
        width = std::max(width, part.name.size());
    std::printf("%4s  %-*s %12s  %s\n", "id", int(width), "part", "triangles", "colour");
    for (size_t i = 0; i < parts.size(); ++i) {
        const xr::Part& part = parts[i];
        std::printf("%4zu  %-*s %12zu ", i + 1, int(width), part.name.c_str(), part.triangles());
        for (const xr::Piece& piece : part.pieces)
            std::printf(" %.3g,%.3g,%.3g", piece.color.x, piece.color.y, piece.color.z);
        std::printf("\n");
    }
}

// The film, its passes and their encoded copy must fit in memory before any work starts.
void check_image_fits(const xr::RenderSettings& s, const xr::Options& options,
                      xr::ImageFormat format) {
    xr::Film pixel(1, 1);
    xr::add_passes(pixel, options.passes);
    const double film = double(sizeof(Color) + sizeof(float) * pixel.channels.size());
    const double encoded = format == xr::ImageFormat::exr ? film : 4.0;
    const double bytes = double(s.width) * double(s.height) * (film + encoded);
    if (bytes > double(xr::available_memory()))
        throw std::runtime_error("a " + std::to_string(s.width) + "x" + std::to_string(s.height) +
                                 " image needs " + std::to_string(int(bytes / (1 << 20))) +
                                 " MiB, more than the memory available");
}

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

void print_render(const std::string& path, const xr::RenderSettings& settings,
                  const xr::RenderStats& stats) {
    std::printf("%s: %dx%d, %d spp, %d threads, %.2f s, %llu shading calls, %.2f Mrays/s\n",
                path.c_str(), settings.width, settings.height, settings.samples, stats.threads,
                stats.seconds, static_cast<unsigned long long>(stats.shader_calls),
                stats.seconds > 0.0 ? double(stats.rays) / stats.seconds * 1e-6 : 0.0);
}

// Renders the plan's frames one after another, each to its own file, which
// appears whole once the frame is done. Returns the frames rendered.
int render_frames(xr::Scene& scene, xr::ShaderFn shader, const xr::SceneDescription& description,
                  const std::vector<xr::Part>& parts, const xr::Options& options,
                  const xr::OutputPlan& plan) {
    const xr::Camera camera = scene.camera;
    int rendered = 0;
    for (int frame = plan.range.first; frame <= plan.range.last; ++frame) {
        const std::string path = plan.path(frame);
        const std::string label =
            plan.sequence() ? "frame " + std::to_string(frame) + " of " +
                                  std::to_string(plan.turntable) + ": " + path
                            : path;
        if (options.skip_existing && exists(path)) {
            std::printf("%s is complete, skipped\n", label.c_str());
            std::fflush(stdout);
            continue;
        }
        xr::OutputFile out(path);
        xr::RenderSettings settings = description.settings;
        if (plan.sequence()) {
            scene.camera = xr::turntable_camera(camera, frame, plan.turntable);
            settings.seed = xr::frame_seed(settings.seed, frame);
        }
        xr::ProgressBar bar;
        xr::RenderStats stats;
        xr::Film film = xr::render_film(scene, shader, settings, options.passes, stats,
                                        [&bar](float done) { bar.update(done); });
        bar.finish();
        if (film.find("id")) {
            std::vector<std::string> names;
            for (const xr::Part& part : parts)
                names.push_back(part.name);
            xr::add_id_manifest(film, names);
        }
        out.commit(xr::encode_image(film, plan.format));
        print_render(label, settings, stats);
        std::fflush(stdout); // a line per frame, even into a log file
        ++rendered;
    }
    return rendered;
}

int run(const xr::Options& options) {
    const auto start = Clock::now();
    const xr::SceneDescription description = xr::describe(options);
    const std::vector<xr::Part> parts = xr::load_parts(description);
    if (options.list_parts) {
        list_parts(parts);
        return 0;
    }
    const double load_seconds = seconds_since(start);

    // Everything that can be refused is checked before the render starts.
    const xr::OutputPlan plan = xr::plan_output(options, description.camera.turntable);
    check_image_fits(description.settings, options, plan.format);
    xr::OutputFile{plan.path(plan.range.first)}; // fails now for a path that cannot be written
    xr::ShaderLibrary library(options.shader.empty() ? xr::default_shader_path() : options.shader);
    const auto build_start = Clock::now();
    const std::unique_ptr<xr::Scene> scene = xr::build_scene(description, parts);
    const double build_seconds = seconds_since(build_start);

    const auto render_start = Clock::now();
    const int rendered =
        render_frames(*scene, library.shader(), description, parts, options, plan);
    if (plan.sequence()) {
        const int frames = plan.range.last - plan.range.first + 1;
        const double seconds = seconds_since(render_start);
        std::printf("frames %d-%d of %d: %d rendered in %.2f s (%.2f s a frame), %d skipped\n",
                    plan.range.first, plan.range.last, plan.turntable, rendered, seconds,
                    rendered ? seconds / rendered : 0.0, frames - rendered);
    }
    if (options.verbose) {
        size_t triangles = 0;
        for (const xr::Part& part : parts)
            triangles += part.triangles();
        const double mib = 1.0 / (1 << 20);
        std::printf("load: %.2f s, %zu parts, %zu triangles\n", load_seconds, parts.size(),
                    triangles);
        std::printf("build: %.2f s, %.1f MiB held by Embree\n", build_seconds,
                    double(scene->intersector().memory()) * mib);
        std::printf("peak memory: %.1f MiB, %.0f bytes per triangle\n",
                    double(xr::peak_memory()) * mib,
                    triangles ? double(xr::peak_memory()) / double(triangles) : 0.0);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "compare") == 0)
        return xr::compare_command(argc - 1, argv + 1);
    int exit_code = 0;
    const std::optional<xr::Options> options = xr::parse_command_line(argc, argv, exit_code);
    if (!options)
        return exit_code;
    xr::handle_interrupts();
    try {
        return run(*options);
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "xray-render: %s\n", e.what());
        return 1;
    }
}
