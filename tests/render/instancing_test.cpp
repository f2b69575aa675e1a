// Instances of a shared mesh against the same meshes copied into place: what
// rays find and what the shader is given must be the same in world space,
// under rotation, non-uniform scale and mirroring, whether the scene is made
// here or read from a glTF whose nodes share a mesh.
#include "tests/render/render_fixture.h"

#include "render/ray_offset.h"
#include "render/setup/model_loader.h"
#include "render/setup/part_bounds.h"
#include "render/setup/placement.h"
#include "render/setup/scene_builder.h"

#include <cmath>
#include <cstring>

using namespace xr;

namespace {

Affine rotation(Vec3 axis, float degrees) {
    const Vec3 a = normalize(axis);
    const float c = std::cos(radians(degrees)), s = std::sin(radians(degrees));
    auto column = [&](Vec3 e) { return e * c + cross(a, e) * s + a * (dot(a, e) * (1.0f - c)); };
    return {{column({1, 0, 0}), column({0, 1, 0}), column({0, 0, 1})}, {}};
}

Affine scaling(Vec3 s, Vec3 translation = {}) {
    return {{{s.x, 0, 0}, {0, s.y, 0}, {0, 0, s.z}}, translation};
}

// Where the rings stand: turned, stretched unevenly, mirrored, and sheared.
const Affine ring_places[] = {
    scaling({1, 1, 1}, {-2.2f, 0.3f, 0}),
    scaling({1, 1, 1}, {0, 0.6f, 0}) * rotation({1, 2, 0.5f}, 50) * scaling({1.6f, 0.5f, 1}),
    scaling({-1, 1, 1}, {2.2f, 0.4f, 0}) * rotation({0, 0.3f, 1}, 70),
    Affine{{{1, 0, 0}, {0.5f, 1, 0}, {0, 0.3f, 0.7f}}, {0, -0.2f, 1.8f}},
};

// Four rings on a slab, the second x-rayed; the rings as instances of one
// mesh, or as copies of it moved into place.
std::vector<Part> rings(bool instanced) {
    auto ring = std::make_shared<const Mesh>(torus({}, 0.8f, 0.3f, 48));
    std::vector<Part> parts;
    Part slab;
    slab.name = "slab";
    slab.pieces.push_back(
        {std::make_shared<Mesh>(box({-4, -1.2f, -3}, {4, -0.9f, 3})), {0.8f, 0.8f, 0.7f}});
    parts.push_back(slab);
    for (size_t i = 0; i < std::size(ring_places); ++i) {
        Part part;
        part.name = "ring:" + std::to_string(i + 1);
        const Vec3 color{0.2f + 0.2f * float(i), 0.5f, 0.9f - 0.2f * float(i)};
        if (instanced)
            part.pieces.push_back({ring, color, ring_places[i]});
        else
            part.pieces.push_back({std::make_shared<Mesh>(mapped(*ring, ring_places[i])), color});
        parts.push_back(part);
    }
    return parts;
}

SceneDescription rings_scene() {
    SceneDescription d;
    Assignment xray;
    xray.parts = "ring:2";
    xray.look = Assignment::Look::xray;
    d.assign.push_back(xray);
    LightDescription key;
    key.name = "key";
    key.position = {3, 6, 5};
    key.intensity = 60;
    LightDescription soft;
    soft.name = "soft";
    soft.kind = Light::Kind::rect;
    soft.position = {-3, 5, 1};
    soft.target = {-3, 0, 1};
    soft.width = soft.height = 2;
    soft.intensity = 3;
    soft.samples = 4;
    d.lights = {key, soft};
    // The camera is placed, and the floor left out: the glTF's copies are
    // placed by Assimp's matrices, which round otherwise.
    d.camera.eye = Vec3{0.5f, 3.5f, 7.5f};
    d.camera.target = Vec3{0, 0, 0};
    d.environment.floor = false;
    return d;
}

} // namespace

TEST(Instancing, AnInstancedSceneRendersAsItsFlattenedTwin) {
    // Framed by the studio and standing on its floor, both sized by the
    // instances' bounds, which are their copies' exactly.
    SceneDescription d = rings_scene();
    d.camera.eye.reset();
    d.camera.target.reset();
    d.environment.floor = true;
    const std::unique_ptr<Scene> instanced = build_scene(d, rings(true));
    const std::unique_ptr<Scene> flattened = build_scene(d, rings(false));
    ASSERT_TRUE(instanced->objects()[2].instance);
    ASSERT_FALSE(flattened->objects()[2].instance);
    const Image a = render_small(*instanced, nullptr, 2, 96);
    const Image b = render_small(*flattened, nullptr, 2, 96);
    // Rays meet the instances in their own space, so hit points round
    // differently in the last bits, and no further: a normal turned wrongly,
    // or interpolated before it is turned, moves pixels by 1e-3 and more.
    EXPECT_EQ(differing_pixels(a, b, 1e-4f), 0);
    EXPECT_GT(differing_pixels(a, Image(a.width, a.height), 0.1f), int(a.pixels.size()) / 4);

    // Each ring alone, and all together, bound as their copies to the bit.
    const std::vector<Part> instances = rings(true), copies = rings(false);
    for (size_t p = 0; p <= instances.size(); ++p) {
        std::vector<const Part*> some, their_copies;
        for (size_t q = 0; q < instances.size(); ++q)
            if (q == p || p == instances.size()) {
                some.push_back(&instances[q]);
                their_copies.push_back(&copies[q]);
            }
        const Bounds exact = PartBounds()(some), copy = PartBounds()(their_copies);
        EXPECT_EQ(std::memcmp(&exact, &copy, sizeof exact), 0) << p;
    }
}

// A ray leaving an instance's surface, from either side and at any angle,
// never finds the triangle it leaves, even far from the origin and under
// strong uneven scale.
TEST(Instancing, RaysLeavingAnInstanceDoNotFindItAgain) {
    const Mesh ring = torus({}, 0.8f, 0.3f, 24);
    const Affine places[] = {
        scaling({1, 1, 1}, {3e4f, -2e4f, 1e4f}) * rotation({1, 1, 1}, 33) *
            scaling({400, 0.01f, 3}),
        scaling({-2, 1, 1}, {-50, 7, 0}) * rotation({0, 1, 0.2f}, 71),
        Affine{{{1, 0, 0}, {0.9f, 0.1f, 0}, {0, 0.3f, 0.7f}}, {1e3f, 0, 0}},
    };
    for (const Affine& place : places) {
        Intersector intersector;
        intersector.add(ring, place, true);
        intersector.commit();
        const Instance instance(place);
        int found_again = 0, rays = 0;
        for (uint32_t t = 0; t < ring.triangles(); t += 7)
            for (const auto& [u, v] : {std::pair{0.2f, 0.3f}, std::pair{0.01f, 0.98f}}) {
                const SurfacePoint at = surface_point(ring, instance, t, u, v);
                const Vec3 n = at.geometric_normal;
                const Vec3 side =
                    normalize(cross(n, std::fabs(n.x) < 0.9f ? Vec3{1, 0, 0} : Vec3{0, 1, 0}));
                const LeavingOrigins leave = leaving_origins(at.point, n, at.offset);
                for (float sign : {1.0f, -1.0f}) {
                    const Vec3 origin = sign > 0.0f ? leave.along : leave.against;
                    // Straight off, and grazing at a few thousandths of a degree.
                    for (Vec3 w : {n * sign, normalize(side + n * (sign * 1e-4f))}) {
                        Hit hit;
                        found_again += intersector.intersect(origin, w, 0.0f, INFINITY, hit) &&
                                       hit.triangle == t;
                        ++rays;
                    }
                }
            }
        EXPECT_EQ(found_again, 0) << "of " << rays;
    }
}

// Three glTF nodes that share one mesh, turned, stretched and mirrored, are
// three instances of it, and render as three nodes with a copy each do.
TEST(Instancing, GltfNodesSharingAMeshAreInstancesOfIt) {
    SceneDescription shared = rings_scene(), copied = rings_scene();
    shared.assign[0].parts = copied.assign[0].parts = "bolts/bolt:2";
    shared.models.push_back({});
    shared.models[0].file = "shared.gltf";
    copied.models.push_back({});
    copied.models[0].file = "copied.gltf";
    shared.base_dir = copied.base_dir = FIXTURES;
    const std::vector<Part> instances = load_parts(shared), copies = load_parts(copied);
    ASSERT_EQ(instances.size(), 3u);
    for (const Part& part : instances) {
        EXPECT_EQ(part.pieces.at(0).mesh, instances[0].pieces.at(0).mesh);
        EXPECT_TRUE(part.pieces[0].to_world);
        EXPECT_EQ(part.instance_of, "bolt");
    }
    EXPECT_FALSE(copies.at(0).pieces.at(0).to_world);
    const Image a = render_small(*build_scene(shared, instances), nullptr, 2, 96);
    const Image b = render_small(*build_scene(copied, copies), nullptr, 2, 96);
    // The copies' corners are placed by Assimp's matrices, which round
    // otherwise: a ray that grazes an edge may hit one and miss the other.
    EXPECT_LE(differing_pixels(a, b, 1e-4f), int(a.pixels.size()) / 1000);
    EXPECT_GT(differing_pixels(a, Image(a.width, a.height), 0.1f), int(a.pixels.size()) / 10);
}

// A use whose map flattens space, or so nearly that Embree could not take rays
// into the mesh's space, is a copy moved into place rather than an instance:
// rendering one stopped the program in Embree's assertion.
TEST(Instancing, UsesThatFlattenSpaceAreCopies) {
    for (const Affine& place : ring_places)
        EXPECT_TRUE(instanceable(place));
    for (Vec3 s : {Vec3{1, 1, 0}, Vec3{1, 0, 1}, Vec3{1, 1, 1e-30f}, Vec3{1, 1e-20f, 1},
                   Vec3{1e-20f, 1e-20f, 1e-20f}, Vec3{1, 1, NAN}})
        EXPECT_FALSE(instanceable(scaling(s))) << s.x << " " << s.y << " " << s.z;

    SceneDescription d = rings_scene();
    d.assign[0].parts = "bolts/bolt:2";
    d.models.push_back({});
    d.models[0].file = "squashed.gltf";
    d.base_dir = FIXTURES;
    const std::vector<Part> parts = load_parts(d);
    ASSERT_EQ(parts.size(), 3u);
    for (size_t p = 0; p < parts.size(); ++p) {
        EXPECT_EQ(bool(parts[p].pieces.at(0).to_world), p != 1) << parts[p].name;
        EXPECT_EQ(parts[p].instance_of, p != 1 ? "bolt" : "");
    }
    const Image image = render_small(*build_scene(d, parts), nullptr, 2, 96);
    EXPECT_GT(differing_pixels(image, Image(image.width, image.height), 0.1f),
              int(image.pixels.size()) / 10);

    // A STEP model scaled below what an instance can stand.
    SceneDescription tiny;
    tiny.models.push_back({});
    tiny.models[0].file = "gearbox.step";
    tiny.models[0].transform.scale = 1e-20f;
    tiny.base_dir = FIXTURES;
    for (const Part& part : load_parts(tiny))
        for (const Piece& piece : part.pieces)
            EXPECT_FALSE(piece.to_world) << part.name;
}
