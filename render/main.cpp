// xray-render: a small ray-tracing host for the x-ray shader library.
#include "render/cli.h"
#include "render/interrupt.h"
#include "render/progress_bar.h"
#include "render/render_to_file.h"
#include "render/scene_builder.h"
#include "render/scene_file.h"
#include "render/serve/serve_command.h"
#include "render/shader_library.h"
#include "render/system_memory.h"

#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void list_parts(const std::vector<xr::Part>& parts) {
    size_t width = 4;
    for (const xr::Part& part : parts)
        width = std::max(width, part.name.size());
    std::printf("%-*s %12s  %s\n", int(width), "part", "triangles", "colour");
    for (const xr::Part& part : parts) {
        std::printf("%-*s %12zu ", int(width), part.name.c_str(), part.triangles());
        for (const xr::Piece& piece : part.pieces)
            std::printf(" %.3g,%.3g,%.3g", piece.color.x, piece.color.y, piece.color.z);
        std::printf("\n");
    }
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
    const xr::RenderSettings& settings = description.settings;
    xr::check_image_fits(settings);

    // Everything that can be refused is checked before the render starts.
    xr::OutputFile out(options.out);
    xr::ShaderLibrary library(options.shader.empty() ? xr::default_shader_path() : options.shader);
    const auto build_start = Clock::now();
    const std::unique_ptr<xr::Scene> scene = xr::build_scene(description, parts);
    const double build_seconds = seconds_since(build_start);

    xr::ProgressBar bar;
    const xr::RenderStats stats = xr::render_to_file(*scene, library.shader(), settings, out,
                                                     [&bar](float done) { bar.update(done); });
    bar.finish();

    std::printf("%s: %dx%d, %d spp, %d threads, %.2f s, %llu shading calls, %.2f Mrays/s\n",
                options.out.c_str(), settings.width, settings.height, settings.samples,
                stats.threads, stats.seconds, static_cast<unsigned long long>(stats.shader_calls),
                stats.seconds > 0.0 ? double(stats.rays) / stats.seconds * 1e-6 : 0.0);
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
    int exit_code = 0;
    const std::optional<xr::Options> options = xr::parse_command_line(argc, argv, exit_code);
    if (!options)
        return exit_code;
    xr::handle_interrupts();
    try {
        if (options->serve)
            return xr::serve(*options);
        return run(*options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "xray-render: %s\n", e.what());
        return 1;
    }
}
