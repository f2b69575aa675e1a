// Adaptive sampling at equal quality. For each shipped scene: a reference of
// many samples, on another seed so that no render shares its samples; the
// uniform render and its error against the reference; then adaptive renders,
// their noise threshold set until their error is no greater, and the time of
// the cheapest such render against the uniform one's, the two timed in
// alternating order. Errors are root-mean-square over the channels of the
// image as an 8-bit display shows it, in 8-bit steps.
#include "bench/bench_options.h"
#include "bench/median.h"
#include "render/image/srgb.h"
#include "render/renderer.h"
#include "render/setup/model_loader.h"
#include "render/setup/scene_builder.h"
#include "render/setup/scene_file.h"
#include "render/shader_library.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace xr;

namespace {

struct BenchSettings {
    int width = 320, height = 200;
    int reference = 1024, uniform = 64, most = 1024;
    int repetitions = 3;
    int attempts = 6;
    int least = default_min_samples;
    std::vector<std::string> scenes = {SCENES "/default.json", SCENES "/assembly.json"};
};

double rmse(const Image& a, const Image& b) {
    double sum = 0.0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        const Color &p = a.pixels[i], &q = b.pixels[i];
        for (const auto& [x, y] : {std::pair{p.r, q.r}, {p.g, q.g}, {p.b, q.b}}) {
            const double d = 255.0 * (double(srgb_encode(x)) - double(srgb_encode(y)));
            sum += d * d;
        }
    }
    return std::sqrt(sum / double(3 * a.pixels.size()));
}

struct Result {
    Image image;
    double seconds;
    uint64_t samples, rays;
};

Result render_once(const Scene& scene, qorv_xraytexture_fn shader, const RenderSettings& settings) {
    RenderStats stats;
    Image image = render({scene, shader, settings}, stats);
    return {std::move(image), stats.seconds, stats.samples, stats.rays};
}

// False when no threshold tried reached the uniform render's error.
bool run(const std::string& path, qorv_xraytexture_fn shader, const BenchSettings& b) {
    const SceneDescription d = read_scene_file(path);
    const std::unique_ptr<Scene> scene = build_scene(d, load_parts(d));
    // The reference and the uniform render sample uniformly, whatever the
    // scene file asks for.
    RenderSettings base = d.settings;
    base.adaptive = false;
    base.width = b.width;
    base.height = b.height;
    const double pixels = double(b.width) * double(b.height);

    RenderSettings reference = base;
    reference.samples = b.reference;
    ++reference.seed;
    const Image truth = render_once(*scene, shader, reference).image;

    RenderSettings uniform = base;
    uniform.samples = b.uniform;
    const Result u = render_once(*scene, shader, uniform);
    const double target = rmse(u.image, truth);

    // The threshold that gives the uniform render's error. The error grows
    // as a power of the threshold; the power is worked out from the last two
    // tries (a half to begin with), and the threshold scaled to the target.
    RenderSettings adaptive = base;
    adaptive.adaptive = true;
    adaptive.samples = b.most;
    adaptive.min_samples = b.least;
    adaptive.noise = default_noise;
    RenderSettings best;
    double best_seconds = INFINITY, best_error = 0.0, best_spp = 0.0;
    double power = 0.5, last_noise = 0.0, last_error = 0.0;
    for (int attempt = 0; attempt < b.attempts; ++attempt) {
        const Result a = render_once(*scene, shader, adaptive);
        const double error = rmse(a.image, truth);
        std::printf("    noise %.3g: error %.3f, %.1f samples a pixel, %.2f s, %.2f times the "
                    "rays\n",
                    adaptive.noise, error, double(a.samples) / pixels, a.seconds,
                    double(a.rays) / double(u.rays));
        if (error <= target && a.seconds < best_seconds) {
            best = adaptive;
            best_seconds = a.seconds;
            best_error = error;
            best_spp = double(a.samples) / pixels;
        }
        if (attempt > 0 && error != last_error && adaptive.noise != last_noise)
            power = std::clamp(std::log(error / last_error) /
                                   std::log(double(adaptive.noise) / last_noise),
                               0.1, 2.0);
        last_noise = adaptive.noise;
        last_error = error;
        // Aim a little under the target, so that a try lands on its side.
        const double step = std::clamp(std::pow(0.99 * target / error, 1.0 / power), 0.25, 4.0);
        adaptive.noise = float(std::min(double(max_noise), adaptive.noise * step));
    }
    if (best_seconds == INFINITY) {
        std::printf("  %s: no threshold tried reached the error of %d samples\n", path.c_str(),
                    b.uniform);
        return false;
    }
    std::vector<double> uniform_times, adaptive_times;
    for (int rep = 0; rep < b.repetitions; ++rep) {
        const bool uniform_first = rep % 2 == 0;
        const double first = render_once(*scene, shader, uniform_first ? uniform : best).seconds;
        const double second = render_once(*scene, shader, uniform_first ? best : uniform).seconds;
        uniform_times.push_back(uniform_first ? first : second);
        adaptive_times.push_back(uniform_first ? second : first);
    }
    const double tu = median(uniform_times), ta = median(adaptive_times);
    std::printf("  %-14s %d spp: %.2f s, error %.3f | adaptive (noise %.3g, %d to %d spp, "
                "%.1f on average): %.2f s, error %.3f | time ratio %.2f  target <= 0.50\n",
                path.substr(path.find_last_of('/') + 1).c_str(), b.uniform, tu, target, best.noise,
                best.min_samples, best.samples, best_spp, ta, best_error, ta / tu);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    BenchSettings b;
    CLI::App app("Times adaptive sampling against uniform sampling at equal error.",
                 "xray_adaptive_bench");
    add_side_option(app, "--width", b.width, "image width");
    add_side_option(app, "--height", b.height, "image height");
    add_samples_option(app, "--reference", b.reference, "samples of the reference");
    add_samples_option(app, "--uniform", b.uniform, "samples of the uniform render");
    add_samples_option(app, "--most", b.most, "the most samples an adaptive pixel takes");
    add_samples_option(app, "--least", b.least, "the fewest samples an adaptive pixel takes");
    add_runs_option(app, "--repetitions", b.repetitions, "timed runs of each");
    add_runs_option(app, "--attempts", b.attempts, "thresholds tried");
    app.add_option("scenes", b.scenes, "scene files")->capture_default_str();
    // Pixels that cannot stop early would time uniform sampling as adaptive;
    // a reference no better than the uniform render cannot measure its error.
    app.callback([&b] {
        if (b.least >= b.most)
            throw CLI::ValidationError("--least " + std::to_string(b.least) +
                                       ": must be fewer than --most, " + std::to_string(b.most));
        if (b.reference <= b.uniform)
            throw CLI::ValidationError("--reference " + std::to_string(b.reference) +
                                       ": must be more than --uniform, " +
                                       std::to_string(b.uniform));
    });
    CLI11_PARSE(app, argc, argv);
    try {
        const ShaderLibrary library(default_shader_path());
        std::printf("Adaptive sampling at equal quality: %dx%d, against a %d-sample reference on "
                    "another seed; medians of %d alternating runs.\n",
                    b.width, b.height, b.reference, b.repetitions);
        bool reached = true;
        for (const std::string& scene : b.scenes)
            reached = run(scene, library.shader(), b) && reached;
        return reached ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "adaptive_bench: %s\n", e.what());
        return 1;
    }
}
