// Phong highlights: which lights are sampled and how their samples are averaged.
// The state faces edge-on at power 1, so the result is the surface colour plus
// the highlight, unblended.
#include "tests/support/shader_fixture.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace {

class Highlights : public ShaderTest {
  protected:
    Highlights() {
        state.facing = 0;
        block.params.color = {0, 0, 0, 1};
        block.params.specular_weight = 1;
    }

    // A light whose samples all have the same colour.
    void add_light(Tag tag, std::vector<float> phong, Color color = {1, 1, 1, 1}) {
        FakeLight& l = fake.lights[fake.n_lights++];
        l.tag = tag;
        l.samples = static_cast<int32_t>(phong.size());
        for (size_t i = 0; i < phong.size(); ++i) {
            l.phong[i] = phong[i];
            l.color[i] = color;
        }
    }

    void use_lights(std::vector<Tag> tags) {
        for (size_t i = 0; i < tags.size(); ++i)
            block.lights()[i] = tags[i];
        block.params.n_light = static_cast<int32_t>(tags.size());
    }

    Color shaded() {
        Color result = {7, 7, 7, 7};
        EXPECT_EQ(shade(result), 1);
        return result;
    }
};

float float_from_bits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

} // namespace

TEST_F(Highlights, AveragesEachLightsContributionsOverAllItsSamples) {
    block.params.specular_weight = 2;
    block.params.specular = {1, 0.5f, 0.25f, 0};
    add_light(4, {0.5f, 0.0005f, 0.5f, 0.0f});
    use_lights({4});
    const Color c = shaded();
    // (0.5 + 0.5) * 2 * S / 4: factors at or below the threshold count but add nothing.
    EXPECT_EQ(c.r, 0.5f);
    EXPECT_EQ(c.g, 0.25f);
    EXPECT_EQ(c.b, 0.125f);
    EXPECT_EQ(c.a, 1.0f) << "the highlight never touches alpha";
}

TEST_F(Highlights, ArithmeticIsSinglePrecisionInTheOrderWritten) {
    // Inexact values, so that regrouping the products, multiplying by the
    // reciprocal of the count or distributing the surface weight changes a bit.
    block.params.specular_weight = 0.1f;
    block.params.specular = {0.3f, 0.7f, 0.9f, 0};
    add_light(4, {0.1f, 0.3f, 0.7f}, {0.7f, 0.3f, 0.1f, 1});
    use_lights({4});
    Color c = shaded();
    EXPECT_EQ(c.r, 0x1.f8a092p-8f);
    EXPECT_EQ(c.g, 0x1.f8a09p-8f);
    EXPECT_EQ(c.b, 0x1.b089ap-9f);

    block.params.color = {0.1f, 0.2f, 0.3f, 0.4f};
    fake.reflection = {1, 1, {0.9f, 0.8f, 0.7f, 0.6f}, nullptr};
    state.facing = 0.3f; // at power 1 the weights are exact on every platform
    c = shaded();
    EXPECT_EQ(c.r, 0x1.61adecp-2f);
    EXPECT_EQ(c.g, 0x1.8aa3aep-2f);
    EXPECT_EQ(c.b, 0x1.b0720ap-2f);
    EXPECT_EQ(c.a, 0x1.d70a3ep-2f);
}

TEST_F(Highlights, EachLightAddsItsOwnAverage) {
    add_light(1, {1.0f}, {1, 0, 0, 1});
    add_light(2, {1.0f, 1.0f, 1.0f, 1.0f}, {0, 1, 0, 1});
    add_light(3, {}, {0, 0, 1, 1}); // gives no sample: adds nothing
    use_lights({1, 2, 3});
    const Color c = shaded();
    EXPECT_EQ(c.r, 1.0f);
    EXPECT_EQ(c.g, 1.0f);
    EXPECT_EQ(c.b, 0.0f);
}

TEST_F(Highlights, PhongThresholdIsTheFloatClosestToOneThousandth) {
    const float threshold = float_from_bits(0x3A83126F);
    add_light(1, {threshold});
    add_light(2, {std::nextafter(threshold, 1.0f)});
    add_light(3, {NAN});
    use_lights({1});
    EXPECT_EQ(shaded().r, 0.0f);
    use_lights({2});
    EXPECT_EQ(shaded().r, std::nextafter(threshold, 1.0f));
    use_lights({3});
    EXPECT_EQ(shaded().r, 0.0f) << "a NaN factor fails the test";
}

TEST_F(Highlights, HostCallsCarryTheLightsSamplesAndExponent) {
    block.params.specular_exponent = 12;
    add_light(5, {1.0f, 1.0f});
    use_lights({5});
    shaded();
    // sample, phong, sample, phong, final sample.
    std::vector<HostCall> calls;
    for (int32_t i = 0; i < fake.recorded(); ++i)
        if (fake.calls[i].op == HostOp::sample_light || fake.calls[i].op == HostOp::phong_specular)
            calls.push_back(fake.calls[i]);
    ASSERT_EQ(calls.size(), 5u);
    for (int i = 0; i < 5; i += 2) {
        EXPECT_EQ(calls[i].op, HostOp::sample_light);
        EXPECT_EQ(calls[i].light, 5u);
        EXPECT_EQ(calls[i].count, i / 2) << "the host advances the count";
        EXPECT_EQ(calls[i].state, &state);
    }
    for (int i = 1; i < 5; i += 2) {
        EXPECT_EQ(calls[i].op, HostOp::phong_specular);
        EXPECT_EQ(calls[i].exponent, 12.0f);
        EXPECT_EQ(calls[i].direction, calls[0].direction) << "the direction the sample wrote";
    }
}

TEST_F(Highlights, WeightNotAboveZeroSamplesNothingButStillAdjustsTheList) {
    use_lights({1});
    for (float weight : {0.0f, -1.0f, NAN}) {
        for (int32_t mode : {1, 2}) {
            reset(fake);
            add_light(1, {1.0f});
            block.params.specular_weight = weight;
            block.params.mode = mode;
            EXPECT_EQ(shaded().r, 0.0f);
            EXPECT_EQ(fake.calls_of(HostOp::sample_light), 0);
            EXPECT_EQ(fake.calls_of(mode == 1 ? HostOp::inclusive_lightlist
                                              : HostOp::exclusive_lightlist),
                      1);
        }
    }
}

TEST_F(Highlights, ModesHandTheListToTheHostWhichMayReplaceIt) {
    add_light(1, {1.0f});
    add_light(2, {1.0f});
    add_light(3, {1.0f});
    use_lights({1, 2, 3});
    block.params.i_light = 1;
    block.params.n_light = 2;
    Tag only_third[] = {3};
    Tag first_two[] = {2, 1};
    fake.inclusive = {1, 1, only_third};
    fake.exclusive = {1, 2, first_two};

    block.params.mode = 1;
    shaded();
    ASSERT_EQ(fake.calls_of(HostOp::inclusive_lightlist), 1);
    const HostCall& list_call = fake.calls[2]; // after the two traces
    EXPECT_EQ(list_call.op, HostOp::inclusive_lightlist);
    EXPECT_EQ(list_call.count, 2);
    EXPECT_EQ(list_call.list, block.lights() + 1) << "the list starts at i_light";
    EXPECT_EQ(sampled_lights(fake), std::vector<Tag>{3});

    reset(fake);
    add_light(1, {1.0f});
    add_light(2, {1.0f});
    fake.exclusive = {1, 2, first_two};
    block.params.mode = 2;
    shaded();
    EXPECT_EQ(sampled_lights(fake), (std::vector<Tag>{2, 1}));

    reset(fake);
    block.params.mode = 3;
    shaded();
    EXPECT_EQ(
        fake.calls_of(HostOp::inclusive_lightlist) + fake.calls_of(HostOp::exclusive_lightlist), 0);
    EXPECT_EQ(sampled_lights(fake), (std::vector<Tag>{2, 3}));
}

TEST_F(Highlights, IndexAndCountSelectASpanOfTheArray) {
    use_lights({10, 11, 12, 13, 14, 15});
    block.params.i_light = 2;
    block.params.n_light = 3;
    shaded();
    EXPECT_EQ(sampled_lights(fake), (std::vector<Tag>{12, 13, 14}));
}

TEST_F(Highlights, NoLightsAfterTheListIsAdjustedMeansNoHighlight) {
    add_light(1, {1.0f});
    use_lights({1});
    for (int32_t count : {0, -3}) {
        reset(fake);
        fake.inclusive = {1, count, block.lights()};
        block.params.mode = 1;
        EXPECT_EQ(shaded().r, 0.0f);
        EXPECT_EQ(fake.calls_of(HostOp::sample_light), 0);
    }
}
