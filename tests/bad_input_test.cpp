// Hostile but legal input: values that break arithmetic, indices and counts at
// the edges of what the block holds, connections the host cannot evaluate.
// Every row shades once and shows that the shader returns, leaves its
// parameters alone, and leaves the result untouched when it gives none.
#include "tests/support/shader_fixture.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// What a row may change before the call.
struct Arrangement {
    RenderState& state;
    ParamBlock& block;
    XrayParams& params;
    ShaderRecord& record;
    FakeHost& fake;
};

struct BadInputCase {
    const char* name;
    void (*arrange)(Arrangement&);
    int32_t status;
    Color expected;             // when the status is 1; NaN matches NaN
    std::vector<Tag> sampled{}; // the lights sampled, in order
};

void PrintTo(const BadInputCase& c, std::ostream* os) {
    *os << c.name;
}

bool same(float a, float b) {
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

class BadInput : public ShaderTest, public ::testing::WithParamInterface<BadInputCase> {
  protected:
    // Half see-through, half surface: red in front of blue gives (0.5, 0, 0.5, 1).
    // Light 3 gives one white sample with a Phong factor of 1, but the weight is 0.
    BadInput() {
        state.facing = 0.5f;
        fake.reflection = {1, 1, {0, 0, 1, 1}, nullptr};
        fake.lights[0] = {3, 1, {{1, 1, 1, 1}}, {1.0f}};
        fake.n_lights = 1;
        block.lights()[0] = 3;
    }
};

TEST_P(BadInput, ShaderReturnsAndWritesOnlyAResultItGives) {
    const BadInputCase& c = GetParam();
    Arrangement scene{state, block, block.params, record, fake};
    c.arrange(scene);
    const ParamBlock before = block;
    Color result = {7, 7, 7, 7};

    platform::StderrCapture capture;
    const int32_t status = shade(result);
    EXPECT_EQ(capture.text(), "");
    ASSERT_EQ(status, c.status);
    EXPECT_EQ(std::memcmp(&before, &block, sizeof block), 0) << "the parameters were written";
    const Color expected = c.status ? c.expected : Color{7, 7, 7, 7};
    EXPECT_TRUE(same(result.r, expected.r) && same(result.g, expected.g) &&
                same(result.b, expected.b) && same(result.a, expected.a))
        << result.r << ", " << result.g << ", " << result.b << ", " << result.a;
    EXPECT_EQ(sampled_lights(fake), c.sampled);
}

constexpr float nan = NAN;
constexpr float inf = INFINITY;
const Color all_nan = {nan, nan, nan, nan};
const Color blend = {0.5f, 0, 0.5f, 1};
const Color see_only = {0, 0, 1, 1};
const Color surface_only = {1, 0, 0, 1};

void lit(Arrangement& s) {
    s.params.specular_weight = 1;
    s.params.n_light = 1;
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadInput,
    ::testing::Values(
        // The facing cosine and the power decide the weights; a NaN or an infinite
        // weight turns the colour NaN, except where powf's own rules give a number.
        BadInputCase{"FacingNaN", [](Arrangement& s) { s.state.facing = nan; }, 1, all_nan},
        BadInputCase{"FacingInfinite", [](Arrangement& s) { s.state.facing = inf; }, 1, all_nan},
        BadInputCase{"FacingMinusInfinite", [](Arrangement& s) { s.state.facing = -inf; }, 1,
                     all_nan},
        BadInputCase{"FacingNaNAtPowerZero",
                     [](Arrangement& s) {
                         s.state.facing = nan;
                         s.params.power = 0;
                     },
                     1, see_only},
        BadInputCase{"PowerNaN", [](Arrangement& s) { s.params.power = nan; }, 1, all_nan},
        BadInputCase{"PowerInfinite", [](Arrangement& s) { s.params.power = inf; }, 1,
                     surface_only},
        BadInputCase{"PowerMinusInfinite", [](Arrangement& s) { s.params.power = -inf; }, 1,
                     all_nan},
        BadInputCase{"PowerHuge", [](Arrangement& s) { s.params.power = 1e30f; }, 1, surface_only},
        BadInputCase{"PowerNegativeHuge", [](Arrangement& s) { s.params.power = -1e30f; }, 1,
                     all_nan},
        // Weights of 2 and -1: the blend extrapolates.
        BadInputCase{
            "PowerNegative", [](Arrangement& s) { s.params.power = -1; }, 1, {-1, 0, 2, 1}},
        BadInputCase{"PowerNegativeEdgeOn",
                     [](Arrangement& s) {
                         s.state.facing = 0;
                         s.params.power = -1;
                     },
                     1, all_nan},
        BadInputCase{"PowerDenormal", [](Arrangement& s) { s.params.power = 1e-45f; }, 1, see_only},
        // The specular weight: only a weight above 0 samples lights.
        BadInputCase{"SpecularWeightNaN",
                     [](Arrangement& s) {
                         lit(s);
                         s.params.specular_weight = nan;
                     },
                     1, blend},
        BadInputCase{"SpecularWeightMinusInfinite",
                     [](Arrangement& s) {
                         lit(s);
                         s.params.specular_weight = -inf;
                     },
                     1, blend},
        BadInputCase{"SpecularWeightInfinite",
                     [](Arrangement& s) {
                         lit(s);
                         s.params.specular_weight = inf;
                     },
                     1,
                     {inf, inf, inf, 1},
                     {3}},
        BadInputCase{"PhongFactorInfinite",
                     [](Arrangement& s) {
                         lit(s);
                         s.fake.lights[0].phong[0] = inf;
                     },
                     1,
                     {inf, inf, inf, 1},
                     {3}},
        BadInputCase{"LightColourNaN",
                     [](Arrangement& s) {
                         lit(s);
                         s.fake.lights[0].color[0] = all_nan;
                     },
                     1,
                     {nan, nan, nan, 1},
                     {3}},
        BadInputCase{"SeeThroughColourNaN",
                     [](Arrangement& s) { s.fake.reflection.color = all_nan; }, 1, all_nan},
        // A negative index reads the block's own words before the array as tags:
        // mode 0, i_light -3 and n_light 3; light 3 answers.
        BadInputCase{"NegativeLightIndex",
                     [](Arrangement& s) {
                         lit(s);
                         s.params.i_light = -3;
                         s.params.n_light = 3;
                     },
                     1,
                     {1, 0.5f, 1, 1},
                     {0, static_cast<Tag>(-3), 3}},
        BadInputCase{"LightIndexAtTheBlocksStart",
                     [](Arrangement& s) {
                         lit(s);
                         s.params.i_light = -16;
                     },
                     1,
                     blend,
                     {0x3f800000}},
        BadInputCase{"NoLights",
                     [](Arrangement& s) {
                         lit(s);
                         s.params.n_light = 0;
                     },
                     1, blend},
        BadInputCase{"NegativeLightCount",
                     [](Arrangement& s) {
                         lit(s);
                         s.params.n_light = -1;
                     },
                     1, blend},
        BadInputCase{"MostNegativeLightCount",
                     [](Arrangement& s) {
                         lit(s);
                         s.params.n_light = INT32_MIN;
                     },
                     1, blend},
        // Connected parameters the host cannot evaluate keep their stored values.
        BadInputCase{"NoConnectionEvaluates",
                     [](Arrangement& s) {
                         lit(s);
                         s.record.link_offset = ParamBlock::link_offset;
                         for (int offset = 0; offset < 68; offset += 4)
                             s.block.connect(reinterpret_cast<char*>(&s.params) + offset);
                     },
                     1,
                     {1, 0.5f, 1, 1},
                     {3}},
        // A child state may be missing even when a ray found something.
        BadInputCase{"NullChild",
                     [](Arrangement& s) {
                         s.params.skip_flagged = 1;
                         s.state.child = nullptr;
                     },
                     1, blend},
        // The calls that give no result.
        BadInputCase{"ShadowRayWithEverythingNaN",
                     [](Arrangement& s) {
                         s.state.ray_type = QORV_XRAYTEXTURE_RAY_SHADOW;
                         s.state.facing = nan;
                         s.params.power = nan;
                     },
                     0,
                     {}},
        BadInputCase{"FlaggedSurface",
                     [](Arrangement& s) {
                         s.params.skip_flagged = -1;
                         s.state.surface_flag = 0xff;
                     },
                     0,
                     {}},
        BadInputCase{"FlaggedChildWithNaNFacing",
                     [](Arrangement& s) {
                         static RenderState child;
                         child.surface_flag = 1;
                         s.params.skip_flagged = 1;
                         s.fake.reflection.child = &child;
                         s.state.facing = nan;
                     },
                     0,
                     {}}),
    [](const ::testing::TestParamInfo<BadInputCase>& info) {
        return std::string(info.param.name);
    });

} // namespace
