// Instancing against copies: an assembly of many instances of one part, built
// and rendered as Embree instances of one mesh and flattened into as many
// copies, beside the part alone. Each measurement runs in a process of its own
// (this program again), so that its peak memory is its own; the three run in
// alternating order, and the figures are medians of the repetitions.
#include "bench/bench_options.h"
#include "bench/median.h"
#include "render/renderer.h"
#include "render/setup/scene_builder.h"
#include "render/setup/shapes.h"
#include "render/setup/studio.h"
#include "render/shader_library.h"
#include "render/util/system_memory.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

using namespace xr;

namespace {

enum class Layout { single, instanced, flattened };
const char* const layout_names[] = {"single", "instanced", "flattened"};

struct Settings {
    int instances = 1000;
    int segments = 142; // the part: a torus of 20164 triangles
    int repetitions = 5;
    RenderSettings render;
};

struct Measurement {
    double peak_bytes = 0, build_seconds = 0, rays_per_second = 0, rays = 0;
};

// Where instance i stands: on a cubic grid, turned about an axis of its own
// and stretched unevenly, as parts of an assembly are not.
Affine place(int i, int instances) {
    const int side = int(std::ceil(std::cbrt(double(instances))));
    const Vec3 at{3.0f * float(i % side), 3.0f * float(i / side % side),
                  3.0f * float(i / (side * side))};
    const Vec3 axis = normalize({std::sin(1.7f * float(i)) + 0.1f, std::cos(2.3f * float(i)),
                                 std::sin(0.9f * float(i) + 1.0f)});
    const float angle = 0.61f * float(i), c = std::cos(angle), s = std::sin(angle);
    auto turn = [&](Vec3 e) {
        return e * c + cross(axis, e) * s + axis * (dot(axis, e) * (1 - c));
    };
    const Vec3 stretch{1.0f, 0.8f + 0.002f * float(i % 100), 1.0f};
    return {{turn({1, 0, 0}) * stretch.x, turn({0, 1, 0}) * stretch.y, turn({0, 0, 1}) * stretch.z},
            at};
}

Mesh part_mesh(const Settings& s) {
    return torus({}, 1.0f, 0.35f, s.segments);
}

std::vector<Part> assembly(Layout layout, const Settings& s) {
    const auto part = std::make_shared<const Mesh>(part_mesh(s));
    const int count = layout == Layout::single ? 1 : s.instances;
    std::vector<Part> parts(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        Part& p = parts[size_t(i)];
        p.name = "assembly/part:" + std::to_string(i + 1);
        const Vec3 color{0.5f + 0.4f * std::sin(float(i)), 0.55f, 0.6f};
        if (layout == Layout::instanced) {
            p.instance_of = "part";
            p.pieces.push_back({part, color, place(i, s.instances)});
        } else {
            p.pieces.push_back(
                {std::make_shared<Mesh>(mapped(*part, place(i, s.instances))), color});
        }
    }
    return parts;
}

// One measurement, in this process.
Measurement measure(Layout layout, const Settings& s) {
    const ShaderLibrary library(default_shader_path());
    SceneDescription d;
    // One part in ten x-rayed: camera, see-through and shadow rays all count.
    Assignment xray;
    xray.parts = "assembly/part:*1";
    xray.look = Assignment::Look::xray;
    if (layout != Layout::single)
        d.assign.push_back(xray);
    const std::vector<Part> parts = assembly(layout, s);
    // The studio's camera and lights, placed by the assembly's exact bounds
    // (as the build measures them too), the same for both layouts. No floor.
    Bounds subject;
    for (const Part& part : parts)
        for (const Piece& piece : part.pieces)
            for (const Vec3& p : piece.mesh->positions)
                subject.extend(piece.to_world ? piece.to_world->point(p) : p);
    const Camera camera = framing(subject, {0.6f, 0.5f, 1.0f}, d.camera.fov,
                                  float(s.render.width) / float(s.render.height));
    d.camera.eye = camera.eye;
    d.camera.target = camera.target;
    d.lights = studio_lights(subject);
    d.environment.floor = false;
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const std::unique_ptr<Scene> scene = build_scene(d, parts);
    Measurement m;
    m.build_seconds = std::chrono::duration<double>(Clock::now() - start).count();
    RenderStats stats;
    render({*scene, library.shader(), s.render}, stats);
    m.rays = double(stats.rays);
    m.rays_per_second = double(stats.rays) / stats.seconds;
    m.peak_bytes = double(peak_memory());
    return m;
}

// A measurement in a process of its own.
Measurement measure_apart(Layout layout, const Settings& s) {
    // popen runs a shell: the path of this program, not /proc/self/exe, which would be the shell.
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) < 0)
        throw std::runtime_error("cannot find this program's own path");
    const std::string command =
        "'" + std::string(self) + "' --measure " + std::string(layout_names[int(layout)]) +
        " --instances " + std::to_string(s.instances) + " --segments " +
        std::to_string(s.segments) + " --width " + std::to_string(s.render.width) + " --height " +
        std::to_string(s.render.height) + " --spp " + std::to_string(s.render.samples) +
        " --threads " + std::to_string(s.render.threads);
    FILE* child = popen(command.c_str(), "r");
    Measurement m;
    if (!child ||
        std::fscanf(child, "%lf %lf %lf %lf", &m.peak_bytes, &m.build_seconds, &m.rays_per_second,
                    &m.rays) != 4 ||
        pclose(child) != 0)
        throw std::runtime_error("the " + std::string(layout_names[int(layout)]) +
                                 " measurement failed");
    return m;
}

void report(const Settings& s) {
    const size_t triangles = part_mesh(s).triangles();
    std::array<std::vector<Measurement>, 3> runs;
    for (int rep = 0; rep < s.repetitions; ++rep)
        for (int step = 0; step < 3; ++step) {
            const int layout = rep % 2 == 0 ? step : 2 - step;
            runs[size_t(layout)].push_back(measure_apart(Layout(layout), s));
        }
    std::array<Measurement, 3> m;
    for (size_t l = 0; l < 3; ++l) {
        std::vector<double> peak, build, rate, rays;
        for (const Measurement& r : runs[l]) {
            peak.push_back(r.peak_bytes), build.push_back(r.build_seconds);
            rate.push_back(r.rays_per_second), rays.push_back(r.rays);
        }
        m[l] = {median(peak), median(build), median(rate), median(rays)};
    }
    std::printf("%d instances of a %zu-triangle part; %dx%d, %d samples a pixel. Medians of %d "
                "runs each,\nin alternating order, each in a process of its own.\n\n",
                s.instances, triangles, s.render.width, s.render.height, s.render.samples,
                s.repetitions);
    std::printf("%-10s %14s %12s %12s %12s\n", "", "peak MiB", "B/triangle", "build s", "M rays/s");
    for (size_t l = 0; l < 3; ++l) {
        const double seen = double(triangles) * (l == 0 ? 1.0 : double(s.instances));
        std::printf("%-10s %14.1f %12.2f %12.4f %12.2f\n", layout_names[l],
                    m[l].peak_bytes / (1 << 20), m[l].peak_bytes / seen, m[l].build_seconds,
                    m[l].rays_per_second * 1e-6);
    }
    const Measurement &single = m[0], &instanced = m[1], &flattened = m[2];
    const double memory_bound = 1.2 * single.peak_bytes + 1024.0 * s.instances;
    std::printf("\npeak memory, instanced: %.1f MiB, target <= 1.2 x single + 1 KB an instance "
                "= %.1f MiB: %s\n",
                instanced.peak_bytes / (1 << 20), memory_bound / (1 << 20),
                instanced.peak_bytes <= memory_bound ? "met" : "MISSED");
    std::printf("build, instanced / single: %.2f, target <= 2: %s\n",
                instanced.build_seconds / single.build_seconds,
                instanced.build_seconds <= 2.0 * single.build_seconds ? "met" : "MISSED");
    const double ratio = instanced.rays_per_second / flattened.rays_per_second;
    std::printf("rays a second, instanced / flattened: %.3f, target within 15%%: %s\n", ratio,
                std::fabs(ratio - 1.0) <= 0.15 || ratio > 1.0 ? "met" : "MISSED");
    std::printf("rays a frame: %.0f instanced, %.0f flattened\n", instanced.rays, flattened.rays);
}

} // namespace

int main(int argc, char** argv) {
    Settings s;
    s.render.width = 320;
    s.render.height = 200;
    s.render.samples = 4;
    std::string measure_layout;
    CLI::App app("Instances of one mesh against the same assembly flattened into copies.",
                 "xray_instancing_bench");
    app.add_option("--instances", s.instances, "instances of the part")
        ->capture_default_str()
        ->check(CLI::Range(1, 1000000));
    app.add_option("--segments", s.segments,
                   "the part: a torus of SEGMENTS x SEGMENTS/2 quads (142: 20164 triangles)")
        ->capture_default_str()
        ->check(CLI::Range(4, 4096));
    add_runs_option(app, "--repetitions", s.repetitions, "runs of each layout");
    add_render_options(app, s.render);
    app.add_option("--measure", measure_layout, "run one measurement here and print it")
        ->check(CLI::IsMember({"single", "instanced", "flattened"}));
    CLI11_PARSE(app, argc, argv);
    try {
        if (measure_layout.empty()) {
            report(s);
            return 0;
        }
        const auto layout =
            Layout(std::find(std::begin(layout_names), std::end(layout_names), measure_layout) -
                   std::begin(layout_names));
        const Measurement m = measure(layout, s);
        std::printf("%.0f %.9f %.3f %.0f\n", m.peak_bytes, m.build_seconds, m.rays_per_second,
                    m.rays);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "instancing_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
