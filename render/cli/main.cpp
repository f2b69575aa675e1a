// xray-render: a small ray-tracing host for the x-ray shader library.
#include "render/cli/command_line.h"
#include "render/cli/compare_command.h"
#include "render/cli/serve_command.h"
#include "render/output/frame_writer.h"
#include "render/output/output_file.h"
#include "render/setup/scene_builder.h"
#include "render/shader_library.h"
#include "render/util/interrupt.h"
#include "render/util/system_memory.h"

#include <chrono>
#include <cstdio>
#include <cstring>
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
    std::printf("%4s  %-*s %12s  %s\n", "id", int(width), "part", "triangles", "colour");
    for (size_t i = 0; i < parts.size(); ++i) {
        const xr::Part& part = parts[i];
        std::printf("%4zu  %-*s %12zu ", i + 1, int(width), part.name.c_str(), part.triangles());
        for (const xr::Piece& piece : part.pieces)
            std::printf(" %.3g,%.3g,%.3g", piece.color.x, piece.color.y, piece.color.z);
        std::printf("\n");
    }
}

int run(const xr::Options& options) {
    const auto start = Clock::now();
    const xr::SceneDescription description = xr::describe(options);
    if (options.list_parts) {
        list_parts(xr::load_parts(description));
        return 0;
    }
    // Everything that can be refused is checked before the render starts.
    const xr::OutputPlan plan = xr::plan_output(options, description.camera.turntable);
    xr::check_image_fits(description.settings, options.passes, plan.format);
    const std::vector<int> frames = xr::frames_to_render(plan, options.skip_existing);
    if (frames.empty()) { // every frame is there: nothing to load
        xr::write_frames({}, plan, frames);
        return 0;
    }
    xr::OutputFile{plan.path(frames.front())}; // fails now for a path that cannot be written
    const std::vector<xr::Part> parts = xr::load_parts(description);
    const double load_seconds = seconds_since(start);
    xr::ShaderLibrary library(options.shader.empty() ? xr::default_shader_path() : options.shader);
    const auto build_start = Clock::now();
    const std::unique_ptr<xr::Scene> scene = xr::build_scene(description, parts);
    const double build_seconds = seconds_since(build_start);

    xr::FrameSource source{scene.get(), library.shader(), description.settings, options.passes, {}};
    for (const xr::Part& part : parts)
        source.part_names.push_back(part.name);
    xr::write_frames(source, plan, frames);
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
        if (options->serve)
            return xr::serve(*options);
        return run(*options);
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "xray-render: %s\n", e.what());
        return 1;
    }
}
