// The host operations as a shader sees them, on a floor point lit by three lights.
#include "tests/render/render_fixture.h"

#include "render/host_operations.h"
#include "render/lighting.h"
#include "render/thread_context.h"
#include "render/tracer.h"

#include <cstring>
#include <vector>

using namespace xr;

namespace {

constexpr Tag overhead = 1, panel = 2, hidden = 3;

Scene floor_scene() {
    Scene scene;
    const Material& grey = scene.add_material(Vec3{0.5f, 0.5f, 0.5f});
    add(scene, ground({0.0f, 0.0f, 0.0f}, 10.0f), grey);
    // Light from straight above passes an x-ray slab; the hidden light sits behind a wall.
    add(scene, box({-1.0f, 2.0f, -1.0f}, {1.0f, 2.1f, 1.0f}), xray(scene, XraySettings{}));
    add(scene, box({2.0f, 0.0f, -1.0f}, {2.2f, 3.0f, 1.0f}), grey);
    EXPECT_EQ(scene.add_light(Light::point({0.0f, 4.0f, 0.0f}, {16.0f, 16.0f, 16.0f})), overhead);
    EXPECT_EQ(scene.add_light(Light::rect({-3.0f, 3.0f, -1.0f}, {1.0f, 0.0f, 0.0f},
                                          {0.0f, 0.0f, 1.0f}, {1.0f, 1.0f, 1.0f})),
              panel);
    EXPECT_EQ(scene.add_light(Light::point({4.0f, 1.0f, 0.0f}, {1.0f, 1.0f, 1.0f})), hidden);
    scene.commit();
    return scene;
}

class HostOperations : public ::testing::Test {
  protected:
    HostOperations() {
        // Looking straight down at the floor's origin.
        Color c;
        EXPECT_TRUE(trace(context, {0.0f, 1.0f, 0.0f}, {0.0f, -1.0f, 0.0f}, 0, ray_eye, c));
    }

    // Every sample of one light, in order.
    std::vector<Color> samples(Tag light, int32_t& count) {
        std::vector<Color> colors;
        Color color;
        Vector3 direction;
        float cosine;
        count = 0;
        while (mi_sample_light(&color, &direction, &cosine, state(), light, &count))
            colors.push_back(color);
        return colors;
    }

    RenderState* state() { return render_state(&context.states[0]); }

    Scene scene = floor_scene();
    ThreadContext context{scene, nullptr};
};

} // namespace

TEST_F(HostOperations, LightsDeliverTheirSamplesOneAtATime) {
    int32_t count = -1;
    EXPECT_EQ(samples(overhead, count).size(), 1u);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(samples(panel, count).size(), 16u);
    EXPECT_EQ(count, 16);
    EXPECT_TRUE(samples(99, count).empty());
    EXPECT_EQ(count, 0);
}

TEST_F(HostOperations, OnlyOpaqueGeometryCastsShadows) {
    int32_t count = 0;
    // Inverse square: 16 / 4^2, through the x-ray slab.
    EXPECT_FLOAT_EQ(samples(overhead, count)[0].r, 1.0f);
    // Blocked, yet still a sample the shader must count.
    const std::vector<Color> blocked = samples(hidden, count);
    ASSERT_EQ(blocked.size(), 1u);
    EXPECT_EQ(blocked[0].r, 0.0f);
}

TEST_F(HostOperations, LightListsFollowTheScene) {
    Tag given[] = {panel, 99, panel, overhead};
    Tag* list = given;
    int32_t count = 4;
    mi_inclusive_lightlist(&count, &list, state());
    EXPECT_EQ(std::vector<Tag>(list, list + count), (std::vector<Tag>{panel, overhead}));

    list = given;
    count = 1; // excludes `panel` alone
    mi_exclusive_lightlist(&count, &list, state());
    EXPECT_EQ(std::vector<Tag>(list, list + count), (std::vector<Tag>{overhead, hidden}));
    EXPECT_EQ(given[0], panel); // the shader's own array is left alone

    // Lists handed back as they were given, read while the new one is built.
    list = given + 3;
    count = 1; // excludes `overhead`
    mi_exclusive_lightlist(&count, &list, state());
    mi_exclusive_lightlist(&count, &list, state());
    EXPECT_EQ(std::vector<Tag>(list, list + count), (std::vector<Tag>{overhead}));
    mi_exclusive_lightlist(&count, &list, state());
    mi_inclusive_lightlist(&count, &list, state());
    EXPECT_EQ(std::vector<Tag>(list, list + count), (std::vector<Tag>{panel, hidden}));
}

TEST_F(HostOperations, PhongFactorPeaksInTheMirrorDirection) {
    Vector3 up = {0.0f, 1.0f, 0.0f}, slanted = {0.6f, 0.8f, 0.0f}, below = {0.0f, -1.0f, 0.0f};
    EXPECT_FLOAT_EQ(mi_phong_specular(10.0f, state(), &up), 1.0f);
    // Reflected about the normal, the slanted light leaves at cos 0.8 to the viewer.
    EXPECT_NEAR(mi_phong_specular(3.0f, state(), &slanted), 0.8f * 0.8f * 0.8f, 1e-6f);
    Vector3 far = {0.6e20f, 0.8e20f, 0.0f}, near = {0.6e-25f, 0.8e-25f, 0.0f};
    EXPECT_NEAR(mi_phong_specular(3.0f, state(), &far), 0.8f * 0.8f * 0.8f, 1e-6f);
    EXPECT_NEAR(mi_phong_specular(3.0f, state(), &near), 0.8f * 0.8f * 0.8f, 1e-6f);
    EXPECT_EQ(mi_phong_specular(10.0f, state(), &below), 0.0f);
}

TEST_F(HostOperations, ConnectedParametersEvaluateIntoTheirOwnStorage) {
    Texture constant;
    constant.a = {0.25f, 0.5f, 0.75f, 1.0f};
    const Tag texture = scene.add_texture(constant);
    // Connected by declared index: color, power, mode and the light array.
    std::vector<Tag> connections(xray_declaration().params.size());
    for (const char* name : {"color", "power", "mode", "light"})
        connections[size_t(xray_declaration().find(name) - &xray_declaration().params[0])] =
            texture;
    const Material material(XrayBlock(XraySettings{}, {}, connections));
    auto* params = const_cast<XrayParams*>(material.block().params());
    context.states[0].shader = material.record();

    auto* color = static_cast<Color*>(mi_phen_eval(state(), &params->color));
    auto* power = static_cast<float*>(mi_phen_eval(state(), &params->power));
    auto* mode = static_cast<int32_t*>(mi_phen_eval(state(), &params->mode));
    ASSERT_TRUE(color && power && mode);
    EXPECT_EQ(color->b, 0.75f);
    EXPECT_EQ(*power, 0.25f);
    EXPECT_EQ(*mode, 0);
    EXPECT_EQ(color->r, 0.25f); // not overwritten by the later parameters
    EXPECT_EQ(mi_phen_eval(state(), &params->light[0]), nullptr);
    EXPECT_EQ(mi_phen_eval(state(), &params->invert), nullptr); // not connected
}

TEST_F(HostOperations, SeeThroughRaysSetTheChildAndStopAtTheDepthLimit) {
    HostState& s = context.states[0];
    Color c;
    // From the floor's origin to the wall, a matte surface, and the sky straight
    // up, however long the direction: squared, 1e20 and 1e-25 leave the floats,
    // and the reciprocal of 1e-39 does too.
    const Color zenith = studio_sky({0.0f, 1.0f, 0.0f});
    for (float scale : {1.0f, 1e20f, 1e-25f, 1e-39f}) {
        Vector3 across = {scale, 0.5f * scale, 0.0f}, up = {0.0f, scale, 0.0f};
        EXPECT_EQ(mi_trace_reflection(&c, state(), &across), 1);
        EXPECT_EQ(s.child, render_state(&context.states[1]));
        EXPECT_NEAR(context.states[1].point.x, 2.0f, 1e-5f);
        EXPECT_NEAR(length(Vec3(context.states[1].direction)), 1.0f, 1e-6f);
        EXPECT_EQ(mi_trace_environment(&c, state(), &up), 1);
        EXPECT_EQ(std::memcmp(&c, &zenith, sizeof c), 0);
    }

    Vector3 across = {1.0f, 0.5f, 0.0f};

    s.depth = max_depth;
    EXPECT_EQ(mi_trace_reflection(&c, state(), &across), 0);
    EXPECT_EQ(s.child, nullptr);
    EXPECT_EQ(context.stats.cut_off, 1u); // counted, for the render to say so
}

// The shader's samples come from runs made at the first of them: every answer,
// and where it leaves the random stream, is what the sample made on demand
// gives, in any order, past a new surface, and with the stream moved between.
TEST_F(HostOperations, SamplesFromARunAreThoseMadeOnDemand) {
    // A rectangle beyond the wall, its lower half hidden: runs hold blocked samples too.
    const Tag beyond = scene.add_light(Light::rect({2.5f, 2.0f, -1.0f}, {0.0f, 0.0f, 2.0f},
                                                   {0.0f, 6.0f, 0.0f}, {1.0f, 1.0f, 1.0f}));
    const HostState& s = context.states[0];
    int blocked = 0, lit = 0, differing = 0;
    auto ask = [&](Tag tag, int k) {
        const Rng before = context.rng;
        const LightSample expected = incident_light(context, s, *scene.light(tag), k);
        const float expected_cosine = dot(Vec3(s.normal), expected.direction);
        const Rng after = context.rng;
        context.rng = before;
        Color color;
        Vector3 direction;
        float cosine;
        int32_t count = k;
        ASSERT_EQ(mi_sample_light(&color, &direction, &cosine, state(), tag, &count), 1);
        EXPECT_EQ(count, k + 1);
        const Vec3 got_color = rgb(color), got_direction(direction);
        differing += std::memcmp(&got_color, &expected.color, sizeof got_color) != 0 ||
                     std::memcmp(&got_direction, &expected.direction, sizeof got_direction) != 0 ||
                     std::memcmp(&cosine, &expected_cosine, sizeof cosine) != 0 ||
                     !(context.rng == after);
        (got_color.x == 0.0f ? blocked : lit) += tag == beyond;
    };
    for (int k = 0; k < 16; ++k)
        ask(beyond, k);
    for (int k : {5, 6, 3, 3, 15, 0, 1})
        ask(beyond, k);
    ask(beyond, 2);
    context.rng.uniform(); // a draw the run did not expect
    ask(beyond, 3);
    ask(overhead, 0); // another light between two samples
    ask(beyond, 4);
    // A new surface at the same depth, the stream where the run expects it:
    // the run was of the old surface.
    const Rng kept = context.rng;
    Color c;
    ASSERT_TRUE(trace(context, {0.5f, 1.0f, 0.3f}, {0.0f, -1.0f, 0.0f}, 0, ray_eye, c));
    context.rng = kept;
    ask(beyond, 5);
    ask(panel, 0);
    ask(panel, 1);
    EXPECT_EQ(differing, 0);
    EXPECT_GT(blocked, 0);
    EXPECT_GT(lit, 0);
}
