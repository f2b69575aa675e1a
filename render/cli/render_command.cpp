#include "render/cli/render_command.h"

#include "render/cli/preflight.h"
#include "render/output/frame_writer.h"
#include "render/setup/model_loader.h"
#include "render/setup/scene_builder.h"
#include "render/util/system_memory.h"
#include "render/util/text.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <unordered_map>

namespace xr {

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Names escaped: a part's name is the file's, and could hold control characters.
// The names' paths show the tree; a part that is one instance of geometry
// other parts share ends with what it is and how many there are: [bolt ×8].
void list_parts(const std::vector<Part>& parts) {
    std::vector<std::string> names;
    std::unordered_map<const Mesh*, size_t> instances;
    size_t width = 4;
    for (const Part& part : parts) {
        names.push_back(printable(part.name));
        width = std::max(width, names.back().size());
        if (!part.instance_of.empty())
            ++instances[part.pieces.front().mesh.get()];
    }
    std::printf("%4s  %-*s %12s  %s\n", "id", int(width), "part", "triangles", "colour");
    for (size_t i = 0; i < parts.size(); ++i) {
        const Part& part = parts[i];
        std::printf("%4zu  %-*s %12zu ", i + 1, int(width), names[i].c_str(), part.triangles());
        for (const Piece& piece : part.pieces)
            std::printf(" %.3g,%.3g,%.3g", piece.color.x, piece.color.y, piece.color.z);
        if (!part.instance_of.empty())
            std::printf("  [%s \u00d7%zu]", printable(part.instance_of).c_str(),
                        instances[part.pieces.front().mesh.get()]);
        std::printf("\n");
    }
}

void report_resources(const std::vector<Part>& parts, const Scene& scene, double load_seconds,
                      double build_seconds) {
    size_t triangles = 0;
    for (const Part& part : parts)
        triangles += part.triangles();
    const double mib = 1.0 / (1 << 20);
    std::printf("load: %.2f s, %s, %s\n", load_seconds, count_text(parts.size(), "part").c_str(),
                count_text(triangles, "triangle").c_str());
    std::printf("build: %.2f s, %.1f MiB held by Embree\n", build_seconds,
                double(scene.intersector().memory()) * mib);
    std::printf("peak memory: %.1f MiB, %.0f bytes per triangle\n", double(peak_memory()) * mib,
                triangles ? double(peak_memory()) / double(triangles) : 0.0);
}

} // namespace

void render_command(const RenderOptions& options) {
    const auto start = Clock::now();
    if (options.list_parts) {
        list_parts(load_parts(describe(options)));
        return;
    }
    const Preflight p = preflight(options, options.output.skip_existing);
    if (p.frames.empty()) {
        write_frames({}, p.plan, p.frames);
        return;
    }
    const double load_seconds = seconds_since(start);
    const auto build_start = Clock::now();
    const std::unique_ptr<Scene> scene = build_scene(p.description, p.parts);
    const double build_seconds = seconds_since(build_start);
    FrameSource source{scene.get(), p.library->shader(), p.description.settings};
    if (!p.plan.tile.empty())
        source.attributes[tile_attribute] = p.plan.tile;
    write_frames(source, p.plan, p.frames);
    if (options.verbose)
        report_resources(p.parts, *scene, load_seconds, build_seconds);
}

} // namespace xr
