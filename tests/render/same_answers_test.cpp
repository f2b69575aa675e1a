// The renderer's cheaper paths against the plain ones they replaced: they must
// give the same answers to the bit, so that images stay as they were.
#include "tests/render/render_fixture.h"

#include "bench/masked_scene.h"
#include "render/light_batch.h"
#include "render/ray_offset.h"
#include "render/setup/model_loader.h"
#include "render/setup/scene_builder.h"
#include "render/setup/scene_file.h"
#include "render/util/divisor.h"

#include <cstring>

using namespace xr;

namespace {

bool same_bits(const LightSample& a, const LightSample& b) {
    return std::memcmp(&a.color, &b.color, sizeof a.color) == 0 &&
           std::memcmp(&a.direction, &b.direction, sizeof a.direction) == 0 &&
           std::memcmp(&a.distance, &b.distance, sizeof a.distance) == 0;
}

// A rectangle's sample worked out from scratch, as it was before the light
// kept what its samples share.
LightSample rect_sample(Vec3 corner, Vec3 edge_u, Vec3 edge_v, Vec3 radiance, int samples, int k,
                        Vec3 point, Rng& rng) {
    const int columns = int(std::ceil(std::sqrt(float(samples))));
    const int rows = (samples + columns - 1) / columns;
    const float u = (float(k % columns) + rng.uniform()) / float(columns);
    const float v = (float(k / columns) + rng.uniform()) / float(rows);
    const Vec3 target = corner + edge_u * u + edge_v * v;
    const float emitted = std::max(0.0f, dot(cross(edge_u, edge_v), normalize(point - target)));
    const Vec3 to_light = target - point;
    const float distance2 = std::max(dot(to_light, to_light), 1e-12f);
    const float distance = std::sqrt(distance2);
    return {radiance * (emitted / distance2), to_light / distance, distance};
}

// The Phong factor as mi_phong_specular worked it out for each call alone.
float phong_alone(float exponent, Vec3 n, Vec3 l, Vec3 view) {
    if (dot(l, l) != 1.0f)
        l = normalize(l);
    const float cos_light = dot(n, l);
    if (cos_light <= 0.0f)
        return 0.0f;
    const Vec3 reflected = n * (2.0f * cos_light) - l;
    const float cos_view = -dot(reflected, view);
    return cos_view > 0.0f ? std::pow(cos_view, exponent) : 0.0f;
}

} // namespace

// Points all round a slanted rectangle, in front of it and behind, near and far.
// Counts that fill the grid they always had (a count that did not, 7 say, now
// has a grid it fills).
TEST(SameAnswers, LightSamplesAreThoseWorkedOutFromScratch) {
    const Vec3 corner{-1.0f, 3.0f, 0.5f}, edge_u{1.7f, 0.1f, 0.0f}, edge_v{0.0f, -0.3f, 1.3f};
    const Vec3 radiance{0.85f, 0.92f, 1.0f};
    for (int samples : {1, 2, 6, 9, 12, 16, 25}) {
        const Light light = Light::rect(corner, edge_u, edge_v, radiance, samples);
        int differing = 0;
        for (uint32_t p = 0; p < 200; ++p) {
            const Vec3 point{float(int(p % 7) - 3) * 1.3f, float(int(p / 7 % 6) - 1) * 1.1f,
                             float(int(p / 42) - 2) * 0.9f};
            for (int k = 0; k < samples; ++k) {
                Rng a(7, p, uint32_t(k)), b(7, p, uint32_t(k));
                differing +=
                    !same_bits(light.sample(k, point, a),
                               rect_sample(corner, edge_u, edge_v, radiance, samples, k, point, b));
            }
            // Runs, four samples at a time, from every first sample: those one after another.
            const Vec3 normal = normalize(Vec3{0.3f, 1.0f, -0.2f});
            for (int first = 0; first < samples; ++first) {
                const int count = std::min(SampleRun::capacity, samples - first);
                SampleRun run;
                light.sample_run(first, count, point, normal, Rng(3, p, uint32_t(first)), run);
                Rng one_by_one(3, p, uint32_t(first));
                // A run of the batch also has each sample's Phong factor, seen
                // from a view that takes in both sides of the highlight.
                HostState state{};
                state.point = point.vector3();
                state.normal = normal.vector3();
                state.direction = normalize(Vec3{float(p % 5) - 2.0f, -1.0f, 0.5f}).vector3();
                LightBatch batch;
                Rng drawn(3, p, uint32_t(first));
                batch.start(state, light, first, drawn, [](const LightSample&) { return false; });
                for (int i = 0; i < count; ++i) {
                    const LightSample s = light.sample(first + i, point, one_by_one);
                    const float cosine = dot(normal, s.direction);
                    differing += !same_bits(run.at(i), s) ||
                                 std::memcmp(&run.cosine[size_t(i)], &cosine, sizeof cosine) != 0;
                    batch.give(i, drawn);
                    const Vector3 direction = s.direction.vector3();
                    float phong = -1.0f;
                    differing += !batch.phong_of_given(state, direction, phong);
                    for (float exponent : {1.0f, 12.5f, 80.0f}) {
                        const float a = phong > 0.0f ? std::pow(phong, exponent) : 0.0f;
                        const float b =
                            phong_alone(exponent, normal, s.direction, Vec3(state.direction));
                        // And the path of a call the batch cannot answer.
                        const Vec3 v(state.direction), l = s.direction;
                        const float alone = phong_cosine(normal.x, normal.y, normal.z, l.x, l.y,
                                                         l.z, v.x, v.y, v.z);
                        const float c = alone > 0.0f ? std::pow(alone, exponent) : 0.0f;
                        differing += std::memcmp(&a, &b, sizeof a) != 0 ||
                                     std::memcmp(&c, &b, sizeof c) != 0;
                    }
                    // Another direction is worked out afresh.
                    const Vector3 other = {direction.x, direction.y,
                                           std::nextafter(direction.z, 2.0f)};
                    differing += batch.phong_of_given(state, other, phong);
                }
            }
        }
        EXPECT_EQ(differing, 0) << samples << " samples";
    }
}

// A divisor's quotient is the division's to the bit, for one float and for
// lanes, whether it multiplies (by a power of two) or divides.
TEST(SameAnswers, DivisorsGiveTheQuotientsOfDivision) {
    const float xs[] = {0.0f,          -0.0f,          1e-45f,   -3e-39f,   1.0f,
                        3.0f,          0.1f,           -7.5f,    1e-38f,    7.5e37f,
                        3.4028235e38f, -3.4028235e38f, INFINITY, -INFINITY, NAN};
    // Powers of two down to one whose reciprocal is no float, and others.
    const float ds[] = {1.0f,      3.0f,      4.0f,      0.5f, 5.0f,  16.0f,    0x1p127f,
                        0x1p-126f, 0x1p-127f, 0x1p-128f, 0.0f, -2.0f, INFINITY, NAN};
    int differing = 0;
    for (float d : ds) {
        const Divisor divisor(d);
        for (float x : xs) {
            const float quotient = x / d, one = divisor.divide(x);
            const float lane = divisor.divide(broadcast(x))[0];
            differing += std::memcmp(&one, &quotient, sizeof one) != 0 ||
                         std::memcmp(&lane, &quotient, sizeof lane) != 0;
        }
    }
    EXPECT_EQ(differing, 0);
}

// Rays leave from the next float outwards in each coordinate, as std::nextafter
// gives it, for every kind of float: both origins of a hit, worked out at once
// on the bits, against that plain definition.
TEST(SameAnswers, LeavingOriginsAreTheNextFloatsOut) {
    auto next_out = [](float x, float direction) {
        if (std::isnan(x) || !(direction > 0.0f || direction < 0.0f))
            return x;
        return std::nextafter(x, direction > 0.0f ? INFINITY : -INFINITY);
    };
    // To the bit, NaNs too: a NaN stays as it is.
    auto same = [](float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    const float values[] = {0.0f,     -0.0f,     1e-45f,   -1e-45f,       1.1754942e-38f,
                            1.0f,     -1.0f,     -2.5e-3f, 7e4f,          3.4028235e38f,
                            INFINITY, -INFINITY, NAN,      -3.4028235e38f};
    Rng rng(11, 0, 0);
    int differing = 0;
    for (int i = 0; i < 20000; ++i) {
        const bool special = i < 4000;
        auto pick = [&](int k) {
            return special
                       ? values[size_t(k) % std::size(values)]
                       : (rng.uniform() - 0.5f) * std::ldexp(1.0f, int(rng.uniform() * 60) - 30);
        };
        const Vec3 n{pick(i / 7), pick(i / 3), pick(i + 5)};
        const float offset = std::fabs(pick(i / 5)) * 1e-3f;
        // Some points sit where the shift takes them to zero.
        const Vec3 point{i % 3 ? pick(i) : -(n.x * offset), pick(i / 14), pick(i / 196)};
        const LeavingOrigins leave = leaving_origins(point, n, offset);
        for (int c = 0; c < 3; ++c) {
            const float shift = n[c] * offset;
            differing += !same(leave.along[c], next_out(point[c] + shift, shift)) ||
                         !same(leave.against[c], next_out(point[c] - shift, -shift));
        }
    }
    EXPECT_EQ(differing, 0);
}

// The built-in scene's parts as they are, or each piece an instance of its
// mesh, turned and squashed: ray masks must keep the x-ray instances out of
// shadow rays in both the full scene and the casters' own.
std::vector<Part> built_in_parts(bool instanced) {
    std::vector<Part> parts = load_parts(built_in_scene());
    const float c = std::cos(0.4f), s = std::sin(0.4f);
    const Affine turn{{{c, 0.0f, -s}, {0.0f, 0.9f, 0.0f}, {s, 0.0f, c}}, {0.1f, 0.2f, 0.0f}};
    if (instanced)
        for (Part& part : parts)
            for (Piece& piece : part.pieces)
                piece.to_world = turn;
    return parts;
}

class SameAnswersOfAFrame : public ::testing::TestWithParam<bool> {};

// Every ray a small frame of the built-in scene casts: the renderer's scenes
// answer it as one scene does where ray masks keep the x-ray surfaces out of
// shadow rays, which is how shadows were traced before.
TEST_P(SameAnswersOfAFrame, EveryRayFindsWhatTheMaskedSceneFinds) {
    const std::unique_ptr<Scene> scene = build_scene(built_in_scene(), built_in_parts(GetParam()));
    RenderSettings settings;
    settings.width = 64;
    settings.height = 40;
    settings.samples = 2;
    RenderStats stats;
    RayLog log;
    render({*scene, xray_shader(), settings}, stats, {{}, nullptr, &log});
    ASSERT_EQ(log.rays(), stats.rays);
    // Its x-ray surfaces are as large as the rest: the casters have a scene of their own.
    ASSERT_NE(scene->intersector().shadow_scene(), scene->intersector().scene());

    const MaskedScene masked(*scene);
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    size_t shadow_rays = 0, blocked = 0, differing = 0;
    for (const auto& tile : log.tiles)
        for (const RecordedRay& r : tile) {
            const Intersector& intersector = scene->intersector();
            RTCRayHit query{};
            query.hit.geomID = query.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
            if (r.kind == RayKind::shadow) {
                query.ray = make_ray(r.origin, r.direction, r.near, r.far, Intersector::shadow);
                rtcOccluded1(masked.scene(), &context, &query.ray);
                const bool expected = query.ray.tfar < 0.0f;
                differing += intersector.occluded(r.origin, r.direction, r.near, r.far) != expected;
                ++shadow_rays;
                blocked += expected;
            } else {
                query.ray = make_ray(r.origin, r.direction, r.near, r.far, Intersector::camera);
                rtcIntersect1(masked.scene(), &context, &query);
                Hit hit{RTC_INVALID_GEOMETRY_ID, 0, 0.0f, 0.0f, 0.0f};
                intersector.intersect(r.origin, r.direction, r.near, r.far, hit);
                if (query.hit.instID[0] != RTC_INVALID_GEOMETRY_ID)
                    query.hit.geomID = query.hit.instID[0];
                differing += hit.object != query.hit.geomID ||
                             (hit.object != RTC_INVALID_GEOMETRY_ID &&
                              (hit.triangle != query.hit.primID || hit.u != query.hit.u ||
                               hit.v != query.hit.v));
            }
        }
    EXPECT_EQ(differing, 0u);
    // Both answers are put to the test, through the x-ray shell and past it.
    EXPECT_GT(blocked, shadow_rays / 100);
    EXPECT_GT(shadow_rays - blocked, shadow_rays / 100);
}

INSTANTIATE_TEST_SUITE_P(Scenes, SameAnswersOfAFrame, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Instanced" : "Meshes"; });
