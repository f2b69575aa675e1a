// The renderer against its ray kernel. Renders a frame while recording every
// ray it casts, then renders it again and replays those rays through bare
// Embree calls, in alternating order, and prints each one's rays a second and
// their ratios; then one thread against all. Figures are medians of the
// repetitions, with their spread.
#include "bench/bench_options.h"
#include "bench/bench_scenes.h"
#include "bench/masked_scene.h"
#include "bench/median.h"
#include "bench/ray_replay.h"

#include "render/renderer.h"
#include "render/shader_library.h"
#include "render/util/system_memory.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

using namespace xr;

namespace {

struct BenchSettings {
    RenderSettings render;
    int repetitions = 9;
    size_t triangles = 1500000;
    std::string scenes = "both";
};

struct Spread {
    double median, low, high;
};

Spread spread(const std::vector<double>& values) {
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    return {median(values), *low, *high};
}

void print_row(const char* what, const Spread& s, const char* unit, double scale,
               const char* target = "") {
    std::printf("  %-26s %6.2f%s (%.2f to %.2f)%s\n", what, s.median * scale, unit, s.low * scale,
                s.high * scale, target);
}

double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

struct FrameTime {
    double wall, cpu; // the CPU time of every thread
};

// One frame, checking that it casts the rays recorded.
FrameTime render_frame(const BenchScene& b, qorv_xraytexture_fn shader, RenderSettings settings,
                       int threads, uint64_t rays) {
    settings.threads = threads;
    RenderStats stats;
    const double cpu = cpu_seconds();
    render({*b.scene, shader, settings}, stats);
    const FrameTime time{stats.seconds, cpu_seconds() - cpu};
    if (stats.rays != rays)
        throw std::runtime_error("a frame cast " + std::to_string(stats.rays) +
                                 " rays, the recorded one " + std::to_string(rays));
    return time;
}

void run(const BenchScene& b, qorv_xraytexture_fn shader, const BenchSettings& s) {
    const int threads = s.render.threads > 0 ? std::min(s.render.threads, available_threads())
                                             : available_threads();
    RenderSettings settings = s.render;
    settings.threads = threads;
    RenderStats stats;
    RayLog log;
    render({*b.scene, shader, settings}, stats, {{}, nullptr, &log});
    std::array<uint64_t, 3> kinds{};
    for (const auto& tile : log.tiles)
        for (const RecordedRay& r : tile)
            ++kinds[size_t(r.kind)];
    const double rays = double(stats.rays);
    std::printf("\n%s, %zu triangles: %.2f M rays a frame, %.0f%% camera, %.0f%% see-through, "
                "%.0f%% shadow\n",
                b.name.c_str(), b.triangles, rays * 1e-6, 100.0 * double(kinds[0]) / rays,
                100.0 * double(kinds[1]) / rays, 100.0 * double(kinds[2]) / rays);

    const MaskedScene masked(*b.scene);
    const Intersector& intersector = b.scene->intersector();
    const KernelScenes kernel{intersector.scene(), intersector.shadow_scene(), masked.scene()};
    constexpr std::array<Replay, 3> replays = {Replay::plain, Replay::renderer_calls, Replay::best};
    constexpr std::array<const char*, 3> names = {"plain replay", "replay of its calls",
                                                  "best replay"};
    constexpr std::array<const char*, 3> targets = {"  target >= 0.85", "  target >= 0.65", ""};
    // Seconds of the frame, then of each replay; each repetition runs them
    // forwards or backwards in turn.
    std::array<std::vector<double>, 4> seconds, cpu;
    std::array<uint64_t, 3> hits{};
    for (int rep = 0; rep < s.repetitions; ++rep)
        for (int step = 0; step < 4; ++step) {
            const int i = rep % 2 == 0 ? step : 3 - step;
            if (i == 0) {
                const FrameTime t = render_frame(b, shader, settings, threads, stats.rays);
                seconds[0].push_back(t.wall);
                cpu[0].push_back(t.cpu);
            } else {
                const double start = cpu_seconds();
                const ReplayResult r = replay(kernel, log, threads, replays[size_t(i - 1)]);
                cpu[size_t(i)].push_back(cpu_seconds() - start);
                seconds[size_t(i)].push_back(r.seconds);
                hits[size_t(i - 1)] = r.hits;
            }
        }

    auto rates = [&](const std::vector<double>& times) {
        std::vector<double> r;
        for (double t : times)
            r.push_back(rays / t);
        return spread(r);
    };
    print_row("renderer", rates(seconds[0]), " M rays/s", 1e-6);
    for (size_t i = 0; i < replays.size(); ++i) {
        // The renderer's rays a second over the replay's, repetition by repetition.
        std::vector<double> ratio;
        for (int rep = 0; rep < s.repetitions; ++rep)
            ratio.push_back(seconds[i + 1][size_t(rep)] / seconds[0][size_t(rep)]);
        print_row(names[i], rates(seconds[i + 1]), " M rays/s", 1e-6);
        print_row("  renderer / this", spread(ratio), "", 1.0, targets[i]);
        // By CPU time, which a busy machine disturbs less than the wall clock.
        std::vector<double> cpu_ratio;
        for (int rep = 0; rep < s.repetitions; ++rep)
            cpu_ratio.push_back(cpu[i + 1][size_t(rep)] / cpu[0][size_t(rep)]);
        print_row("    by CPU time", spread(cpu_ratio), "", 1.0);
    }
    // The casters' scene must answer as the masked one; packets may settle a
    // ray that grazes an edge otherwise.
    if (hits[0] != hits[1])
        throw std::runtime_error(std::to_string(hits[0]) + " rays hit in the masked scene, " +
                                 std::to_string(hits[1]) + " in the renderer's scenes");
    if (hits[2] != hits[1])
        std::printf("  %llu rays hit in packets, %llu alone\n",
                    static_cast<unsigned long long>(hits[2]),
                    static_cast<unsigned long long>(hits[1]));

    if (threads > 1) {
        // Wall clock gives the speed-up; CPU time shows what threads cost each
        // other (false sharing, memory), which other processes do not inflate.
        std::vector<double> scaling, cost;
        for (int rep = 0; rep < s.repetitions; ++rep) {
            const bool one_first = rep % 2 == 0;
            const FrameTime a =
                render_frame(b, shader, settings, one_first ? 1 : threads, stats.rays);
            const FrameTime c =
                render_frame(b, shader, settings, one_first ? threads : 1, stats.rays);
            const FrameTime& one = one_first ? a : c;
            const FrameTime& all = one_first ? c : a;
            scaling.push_back(one.wall / all.wall);
            cost.push_back(all.cpu / one.cpu);
        }
        char what[64], target[64];
        std::snprintf(what, sizeof what, "%d threads / 1 thread", threads);
        std::snprintf(target, sizeof target, "  target >= %.2g", 0.95 * threads);
        print_row(what, spread(scaling), " x", 1.0, target);
        print_row("  CPU time, same ratio", spread(cost), " x", 1.0);
    }
    const double triangles = double(b.triangles);
    std::printf("  %-26s %.0f B a triangle in the meshes, %.0f B in Embree", "memory",
                double(b.mesh_bytes) / triangles,
                double(b.scene->intersector().memory()) / triangles);
    if (b.peak_bytes > 0)
        std::printf("; peak %.0f B a triangle (%.0f MiB)", double(b.peak_bytes) / triangles,
                    double(b.peak_bytes) / (1 << 20));
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    BenchSettings s;
    s.render.width = 320;
    s.render.height = 200;
    CLI::App app("Times xray-render against bare replays of the rays it casts.",
                 "xray_render_bench");
    add_render_options(app, s.render);
    add_runs_option(app, "--repetitions", s.repetitions, "repetitions of each measurement");
    app.add_option("--triangles", s.triangles, "triangles of the large scene's shell")
        ->capture_default_str()
        ->check(CLI::Range(size_t(8), size_t(1) << 26));
    app.add_option("--scenes", s.scenes, "which scenes")
        ->capture_default_str()
        ->check(CLI::IsMember({"both", "built-in", "large"}));
    CLI11_PARSE(app, argc, argv);

    try {
        const ShaderLibrary library(default_shader_path());
        std::printf(
            "Render benchmark: %dx%d, %d samples a pixel, seed %u. Medians of %d repetitions "
            "(lowest to highest\nin brackets); each repetition renders the frame and replays "
            "its rays, in alternating order.\n",
            s.render.width, s.render.height, s.render.samples, s.render.seed, s.repetitions);
        // The large scene first, while the process holds little else: its
        // peak memory is then that of building it.
        std::unique_ptr<BenchScene> large;
        if (s.scenes != "built-in") {
            large = std::make_unique<BenchScene>(big_shell_scene(s.triangles));
            large->peak_bytes = peak_memory();
        }
        if (s.scenes != "large")
            run(built_in_bench_scene(), library.shader(), s);
        if (large)
            run(*large, library.shader(), s);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "render_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
