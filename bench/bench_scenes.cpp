#include "bench/bench_scenes.h"

#include "render/setup/model_loader.h"
#include "render/setup/scene_builder.h"
#include "render/setup/scene_file.h"
#include "render/setup/shapes.h"

#include <cmath>
#include <set>
#include <stdexcept>

using namespace xr;

namespace {

BenchScene build(std::string name, const SceneDescription& d, const std::vector<Part>& parts) {
    BenchScene b{std::move(name), build_scene(d, parts), 0, 0};
    std::set<const Mesh*> counted;
    for (const Object& object : b.scene->objects()) {
        const Mesh& m = *object.mesh;
        if (!counted.insert(&m).second)
            continue;
        b.triangles += m.triangles();
        b.mesh_bytes += m.positions.capacity() * sizeof(Vec3) +
                        m.indices.capacity() * sizeof(uint32_t) +
                        m.normals.capacity() * sizeof(Vec3);
    }
    return b;
}

} // namespace

BenchScene built_in_bench_scene() {
    const SceneDescription d = built_in_scene();
    return build("built-in scene", d, load_parts(d));
}

BenchScene big_shell_scene(size_t triangles) {
    const SceneDescription d = built_in_scene();
    std::vector<Part> parts = load_parts(d);
    for (Part& part : parts) {
        if (part.name != "shell")
            continue;
        Bounds b;
        for (Vec3 p : part.pieces.at(0).mesh->positions)
            b.extend(p);
        // A sphere of n segments around and n / 2 down has n * n triangles.
        const int segments = std::max(4, 2 * int(std::lround(std::sqrt(double(triangles)) / 2)));
        part.pieces[0].mesh =
            std::make_shared<Mesh>(sphere(b.center(), 0.5f * (b.hi.x - b.lo.x), segments));
        return build("built-in scene, " + std::to_string(segments * segments) + "-triangle shell",
                     d, parts);
    }
    throw std::runtime_error("the built-in scene has no part named shell");
}
