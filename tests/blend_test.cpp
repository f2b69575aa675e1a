// The see-through blend: what the shader declines, how it finds the colour
// behind the surface, and how it weighs that against the surface's own colour.
#include "tests/support/shader_fixture.h"

#include <vector>

namespace {

const Color untouched = {7, 7, 7, 7};

void expect_color(const Color& c, const Color& expected) {
    EXPECT_EQ(c.r, expected.r);
    EXPECT_EQ(c.g, expected.g);
    EXPECT_EQ(c.b, expected.b);
    EXPECT_EQ(c.a, expected.a);
}

} // namespace

TEST_F(ShaderTest, DeclinesShadowAndDisplacementRaysWithoutCallingTheHost) {
    // Everything connected: resolving any parameter would reach the host.
    link();
    for (int offset = 0; offset < 68; offset += 4)
        block.connect(reinterpret_cast<char*>(&block.params) + offset);
    for (int32_t type : {5, 16}) {
        state.ray_type = type;
        Color result = untouched;
        EXPECT_EQ(shade(result), 0);
        expect_color(result, untouched);
    }
    EXPECT_EQ(fake.recorded(), 0);
}

TEST_F(ShaderTest, FlaggedSurfaceIsSkippedOnlyWhenAsked) {
    state.surface_flag = 1;
    Color result = untouched;
    block.params.skip_flagged = 1;
    EXPECT_EQ(shade(result), 0);
    expect_color(result, untouched);
    EXPECT_EQ(fake.recorded(), 0);

    block.params.skip_flagged = 0;
    EXPECT_EQ(shade(result), 1);
}

TEST_F(ShaderTest, FlaggedChildDropsTheSeeThroughColour) {
    RenderState child{};
    child.surface_flag = 1;
    block.params.skip_flagged = 1;
    Color result = untouched;

    fake.reflection = {1, 1, {0, 0, 1, 1}, &child};
    EXPECT_EQ(shade(result), 0);
    expect_color(result, untouched);

    fake.reflection = {0, 0, {}, nullptr};
    fake.environment = {1, 1, {0, 0, 1, 1}, &child};
    EXPECT_EQ(shade(result), 0) << "the environment's child is tested too";

    child.surface_flag = 0;
    EXPECT_EQ(shade(result), 1);

    fake.environment = {1, 1, {0, 0, 1, 1}, nullptr};
    state.child = nullptr;
    EXPECT_EQ(shade(result), 1) << "no child state, nothing to test";
}

TEST_F(ShaderTest, ChildIsNotTestedWhenNothingWasFound) {
    RenderState stale{};
    stale.surface_flag = 1;
    state.child = &stale; // left over from an earlier ray
    block.params.skip_flagged = 1;
    Color result = untouched;
    EXPECT_EQ(shade(result), 1);
}

TEST_F(ShaderTest, WithoutSkipFlaggedNoFlagIsRead) {
    // An address that would fault if the shader read through it.
    auto* poisoned = reinterpret_cast<RenderState*>(uintptr_t{16});
    fake.reflection = {1, 1, {0, 0, 1, 1}, poisoned};
    state.surface_flag = 1;
    Color result;
    EXPECT_EQ(shade(result), 1);
}

struct BlendCase {
    const char* name;
    float facing;
    float power;
    int32_t invert;
    Color color;
    Color see;
    Color expected;
};

void PrintTo(const BlendCase& c, std::ostream* os) {
    *os << c.name;
}

class Blend : public ShaderTest, public ::testing::WithParamInterface<BlendCase> {};

TEST_P(Blend, WeighsSurfaceAndSeeThroughColourByThePoweredFacing) {
    const BlendCase& c = GetParam();
    state.facing = c.facing;
    block.params.power = c.power;
    block.params.invert = c.invert;
    block.params.color = c.color;
    fake.reflection = {1, 1, c.see, nullptr};
    Color result;
    ASSERT_EQ(shade(result), 1);
    expect_color(result, c.expected);
}

const Color red = {1, 0, 0, 1};
const Color blue = {0, 0, 1, 1};

INSTANTIATE_TEST_SUITE_P(
    Cases, Blend,
    ::testing::Values(
        BlendCase{"Half", 0.5f, 2, 0, red, blue, {0.75f, 0, 0.25f, 1}},
        BlendCase{"HalfInverted", 0.5f, 2, 1, red, blue, {0.25f, 0, 0.75f, 1}},
        BlendCase{"BackFacing", -0.5f, 2, 0, red, blue, {0.75f, 0, 0.25f, 1}},
        // powf(0, 0) is 1: power 0 sees through completely, or not at all.
        BlendCase{"PowerZero", 0, 0, 0, red, blue, blue},
        BlendCase{"PowerZeroInverted", 0, 0, 1, red, blue, red},
        BlendCase{"FacingOne", 1, 3, 0, red, blue, blue},
        BlendCase{"FacingMinusOne", -1, 3, 0, red, blue, blue},
        BlendCase{"EdgeOn", 0, 2, 0, red, blue, red},
        // Alpha is blended by the same weights.
        BlendCase{"Alpha", 0.5f, 2, 0, {1, 0, 0, 0.5f}, {0, 0, 1, 0}, {0.75f, 0, 0.25f, 0.375f}}),
    [](const ::testing::TestParamInfo<BlendCase>& info) { return std::string(info.param.name); });

TEST_F(ShaderTest, SeeThroughRayFollowsTheIncidentDirection) {
    fake.reflection = {1, 1, blue, nullptr};
    Color result;
    ASSERT_EQ(shade(result), 1);
    ASSERT_EQ(fake.recorded(), 1) << "found: the environment is not asked";
    EXPECT_EQ(fake.calls[0].state, &state);
    EXPECT_EQ(fake.calls[0].direction, &state.direction);
}

TEST_F(ShaderTest, EnvironmentIsAskedWhenTheRayFindsNothing) {
    state.facing = 0.5f;
    fake.environment = {1, 1, blue, nullptr};
    Color result;
    ASSERT_EQ(shade(result), 1);
    ASSERT_EQ(fake.recorded(), 2);
    EXPECT_EQ(fake.calls[1].op, HostOp::trace_environment);
    EXPECT_EQ(fake.calls[1].address, fake.calls[0].address) << "the same colour is filled";
    EXPECT_EQ(fake.calls[1].direction, &state.direction);
    expect_color(result, {0.5f, 0, 0.5f, 1});
}

TEST_F(ShaderTest, WhenBothTracesFailTheSeeColourIsWhatTheHostLeft) {
    state.facing = 0.5f;
    Color result;
    ASSERT_EQ(shade(result), 1);
    expect_color(result, {0.5f, 0, 0, 0.5f});

    fake.environment = {0, 1, {0, 0.5f, 0, 1}, nullptr};
    ASSERT_EQ(shade(result), 1);
    expect_color(result, {0.5f, 0.25f, 0, 1});
}

TEST_F(ShaderTest, ParametersAreResolvedOnceEachInTheOrderTheShaderUsesThem) {
    // Every parameter connected; the evaluated values differ from the stored ones.
    XrayParams value{};
    value.color = {0, 1, 0, 0.5f};
    value.power = 1;
    value.invert = 1;
    value.specular_weight = 2;
    value.specular_exponent = 8;
    value.specular = {0.5f, 0.5f, 0.5f, 1};
    value.mode = 0;
    value.i_light = 0;
    value.n_light = 1;
    Tag lights[] = {9};
    fake.lights[0] = {9, 1, {{1, 1, 1, 1}}, {0.5f}};
    fake.n_lights = 1;
    block.params.power = 0;
    block.params.n_light = 0;
    state.facing = 0.5f;

    XrayParams& p = block.params;
    const std::vector<const void*> order = {
        &p.skip_flagged, &p.color, &p.power,   &p.invert,  &p.specular_weight, &p.specular_exponent,
        &p.specular,     &p.mode,  &p.n_light, &p.i_light, &p.light[0]};
    const std::vector<void*> values = {&value.skip_flagged,
                                       &value.color,
                                       &value.power,
                                       &value.invert,
                                       &value.specular_weight,
                                       &value.specular_exponent,
                                       &value.specular,
                                       &value.mode,
                                       &value.n_light,
                                       &value.i_light,
                                       lights};
    for (size_t i = 0; i < order.size(); ++i)
        connect(order[i], values[i]);

    Color result;
    ASSERT_EQ(shade(result), 1);
    std::vector<const void*> evaluated;
    for (int32_t i = 0; i < fake.recorded(); ++i)
        if (fake.calls[i].op == HostOp::phen_eval)
            evaluated.push_back(fake.calls[i].address);
    EXPECT_EQ(evaluated, order);
    EXPECT_EQ(sampled_lights(fake), std::vector<Tag>{9});

    // Inverted at power 1: weights 0.5 each. H = 0.5 * 2 * 0.5 = 0.5 per channel.
    expect_color(result, {0.25f, 0.75f, 0.25f, 0.25f});
}

TEST_F(ShaderTest, ConnectedParameterThatCannotBeEvaluatedKeepsItsStoredValue) {
    link();
    block.connect(&block.params.color); // connected, yet mi_phen_eval answers null
    state.facing = 0;
    Color result;
    ASSERT_EQ(shade(result), 1);
    EXPECT_EQ(fake.calls_of(HostOp::phen_eval), 1);
    expect_color(result, red);
}

// A parameter is connected when the shader's record has a link offset and the
// whole 32-bit tag it leads to is not 0; both are read anew on every call.
TEST_F(ShaderTest, ConnectionIsReadAnewOnEveryCallFromTheLinkOffsetAndTheWholeTag) {
    Color green = {0, 1, 0, 1};
    fake.connections[fake.n_connections++] = {&block.params.color, &green};
    state.facing = 0;
    auto shaded = [&] {
        Color result;
        EXPECT_EQ(shade(result), 1);
        return result;
    };

    expect_color(shaded(), red); // no link offset
    link();
    expect_color(shaded(), red); // the host keeps tags, but none is set
    EXPECT_EQ(fake.calls_of(HostOp::phen_eval), 0);
    for (uint32_t tag : {0x1u, 0x100u, 0x10000u, 0x1000000u}) {
        block.connect(&block.params.color, tag);
        expect_color(shaded(), green);
    }
    EXPECT_EQ(fake.calls_of(HostOp::phen_eval), 4);
    record.link_offset = 0; // another material's record, whose parameters are not linked
    expect_color(shaded(), red);
    EXPECT_EQ(fake.calls_of(HostOp::phen_eval), 4);
}

namespace {

// Shades a second x-ray surface from inside the first one's see-through ray.
struct Nesting {
    qorv_xraytexture_fn shade;
    XrayParams* inner_params;
    RenderState inner_state;
    int depth = 0;
    int deepest = 0;
};

int32_t shade_behind(Color* result, RenderState* state, Vector3*, void* user) {
    auto& n = *static_cast<Nesting*>(user);
    if (n.depth > 0)
        return 0; // behind the inner surface lies nothing; the environment answers
    ++n.depth;
    n.deepest = n.depth > n.deepest ? n.depth : n.deepest;
    const int32_t found = n.shade(result, &n.inner_state, n.inner_params);
    --n.depth;
    state->child = &n.inner_state;
    return found;
}

} // namespace

TEST_F(ShaderTest, ShadesNestedInsideItsOwnSeeThroughRay) {
    ParamBlock inner;
    inner.params.color = {0, 1, 0, 1};
    inner.params.power = 1;
    Nesting nesting{library.shade, &inner.params, state};
    nesting.inner_state.facing = 0.5f;
    fake.reflection_hook = shade_behind;
    fake.hook_user = &nesting;
    fake.environment = {1, 1, blue, nullptr};
    state.facing = 0.5f;

    Color result;
    ASSERT_EQ(shade(result), 1);
    EXPECT_EQ(nesting.deepest, 1);
    // Inner: green and blue half and half. Outer: red and that, half and half.
    expect_color(result, {0.5f, 0.25f, 0.25f, 1});
    ASSERT_EQ(fake.recorded(), 3);
    EXPECT_EQ(fake.calls[1].state, &nesting.inner_state) << "the nested call traces first";
    EXPECT_EQ(fake.calls[2].op, HostOp::trace_environment);
}
