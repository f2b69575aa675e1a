// xray-render: a small ray-tracing host for the x-ray shader library.
#include "render/cli.h"
#include "render/default_scene.h"
#include "render/obj_scene.h"
#include "render/output_file.h"
#include "render/progress_bar.h"
#include "render/shader_library.h"

#include <cstdio>
#include <stdexcept>

namespace {

int run(const xr::Options& options) {
    // Everything that can be refused is checked before the render starts.
    xr::OutputFile out(options.out);
    xr::ShaderLibrary library(options.shader.empty() ? xr::default_shader_path() : options.shader);
    const xr::Scene scene = options.obj.empty() ? xr::default_scene(options.material)
                                                : xr::obj_scene(options.obj, options.material);

    xr::ProgressBar bar;
    xr::RenderStats stats;
    const xr::Image image = xr::render(scene, library.shader(), options.render, stats,
                                       [&bar](float done) { bar.update(done); });
    bar.finish();
    const std::vector<uint8_t> png = xr::encode_png(image);
    if (png.empty())
        throw std::runtime_error("cannot encode the image as PNG");
    out.commit(png);

    const xr::RenderSettings& r = options.render;
    std::printf("%s: %dx%d, %d spp, %d threads, %.2f s, %llu shading calls, %.2f Mrays/s\n",
                options.out.c_str(), r.width, r.height, r.samples,
                r.threads > 0 ? r.threads : xr::default_threads(), stats.seconds,
                static_cast<unsigned long long>(stats.shader_calls),
                stats.seconds > 0.0 ? double(stats.rays) / stats.seconds * 1e-6 : 0.0);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int exit_code = 0;
    const std::optional<xr::Options> options = xr::parse_command_line(argc, argv, exit_code);
    if (!options)
        return exit_code;
    try {
        return run(*options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "xray-render: %s\n", e.what());
        return 1;
    }
}
