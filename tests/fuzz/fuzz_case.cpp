#include "tests/fuzz/fuzz_case.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

FuzzCase scene;

namespace {

// Half the floats are values that upset arithmetic, half are any bits at all.
float any_float(FuzzedDataProvider& in) {
    static const float special[] = {0.0f,      -0.0f,   1.0f,         -1.0f,         0.5f,
                                    2.0f,      1e-3f,   NAN,          -NAN,          INFINITY,
                                    -INFINITY, FLT_MIN, FLT_TRUE_MIN, -FLT_TRUE_MIN, FLT_MAX,
                                    -FLT_MAX,  1e30f,   -1e30f,       1e-30f,        -2.0f};
    if (in.ConsumeBool())
        return in.PickValueInArray(special);
    const uint32_t bits = in.ConsumeIntegral<uint32_t>();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

int32_t any_int(FuzzedDataProvider& in) {
    if (in.ConsumeBool())
        return in.ConsumeIntegralInRange<int32_t>(-2, 3);
    return in.ConsumeIntegral<int32_t>();
}

Color any_color(FuzzedDataProvider& in) {
    Color c;
    c.r = any_float(in);
    c.g = any_float(in);
    c.b = any_float(in);
    c.a = any_float(in);
    return c;
}

void put(uint32_t* words, int at, const void* value, size_t size) {
    std::memcpy(words + at, value, size);
}

void put_float(uint32_t* words, int at, float f) {
    put(words, at, &f, sizeof f);
}

void put_int(uint32_t* words, int at, int32_t i) {
    put(words, at, &i, sizeof i);
}

// The fields and lights of a block: the stored one or the evaluated values.
void decode_block(FuzzedDataProvider& in, uint32_t* words) {
    const Color color = any_color(in);
    put(words, word_color, &color, sizeof color);
    put_float(words, word_power, any_float(in));
    put_int(words, word_skip_flagged, any_int(in));
    put_int(words, word_invert, any_int(in));
    put_float(words, word_specular_weight, any_float(in));
    put_float(words, word_specular_exponent, any_float(in));
    const Color specular = any_color(in);
    put(words, word_specular, &specular, sizeof specular);
    put_int(words, word_mode, any_int(in));
    put_int(words, word_i_light, any_int(in));
    put_int(words, word_n_light, any_int(in));
    for (int32_t k = 0; k < scene.lights; ++k)
        words[word_light + k] = in.ConsumeIntegralInRange<uint32_t>(0, 9);
}

// Connection tags lie wholly before or wholly after the block, so that no tag
// shares a word with a parameter.
void decode_links(FuzzedDataProvider& in, int32_t* before, int32_t* after) {
    *before = *after = 0;
    switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
        scene.link_words = 0;
        break;
    case 1:
        scene.link_words = in.ConsumeIntegralInRange(-48, -(field_words + 1));
        *before = -scene.link_words;
        break;
    default:
        scene.link_words =
            in.ConsumeIntegralInRange(field_words + scene.lights, field_words + scene.lights + 32);
        *after = scene.link_words - scene.lights + 1;
        break;
    }
    scene.record.link_offset = scene.link_words * 4;
}

void decode_tags(FuzzedDataProvider& in) {
    const uint32_t connected = in.ConsumeIntegral<uint32_t>() & param_words;
    scene.answered = in.ConsumeIntegral<uint32_t>() & param_words;
    if (scene.link_words == 0)
        return;
    for (int word = 0; word <= word_light; ++word)
        if (param_words >> word & 1)
            scene.block[word + scene.link_words] =
                connected >> word & 1 ? in.ConsumeIntegral<uint32_t>() | 1 : 0;
}

// Whatever is stored or evaluated, the lights the shader reads, from `i_light`
// on, lie within the block: a negative index reaches back into its fields.
void keep_lights_within_block() {
    auto* i_word = const_cast<uint32_t*>(effective(word_i_light));
    auto* n_word = const_cast<uint32_t*>(effective(word_n_light));
    int32_t i, n;
    std::memcpy(&i, i_word, sizeof i);
    std::memcpy(&n, n_word, sizeof n);
    if (i < -field_words || i > scene.lights) {
        const uint32_t span = static_cast<uint32_t>(field_words + scene.lights + 1);
        i = static_cast<int32_t>(static_cast<uint32_t>(i) % span) - field_words;
    }
    if (n > scene.lights - i)
        n = scene.lights - i;
    std::memcpy(i_word, &i, sizeof i);
    std::memcpy(n_word, &n, sizeof n);
}

void decode_state(FuzzedDataProvider& in, Level& level) {
    static const int32_t ray_types[] = {0, 1, 2, QORV_XRAYTEXTURE_RAY_SHADOW,
                                        QORV_XRAYTEXTURE_RAY_DISPLACE};
    RenderState& s = level.state;
    s.ray_type = in.ConsumeBool() ? in.PickValueInArray(ray_types) : in.ConsumeIntegral<int32_t>();
    s.surface_flag = in.ConsumeBool() ? 0 : in.ConsumeIntegral<uint8_t>();
    s.direction = {any_float(in), any_float(in), any_float(in)};
    s.facing = any_float(in);
    s.shader = &scene.record;
    level.child.surface_flag = in.ConsumeIntegral<uint8_t>();
}

TraceAnswer decode_trace(FuzzedDataProvider& in) {
    TraceAnswer t;
    t.result = in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 1) : in.ConsumeIntegral<int32_t>();
    t.write = in.ConsumeBool();
    t.color = any_color(in);
    t.has_child = in.ConsumeBool();
    t.nest = in.ConsumeBool();
    return t;
}

ListAnswer decode_list(FuzzedDataProvider& in) {
    ListAnswer l;
    l.replace = in.ConsumeBool();
    l.size = in.ConsumeIntegralInRange(0, max_list);
    if (l.size > 0)
        l.list = static_cast<Tag*>(std::malloc(sizeof(Tag) * static_cast<size_t>(l.size)));
    for (int32_t k = 0; k < l.size; ++k)
        l.list[k] = in.ConsumeIntegralInRange<uint32_t>(0, 9);
    l.count = in.ConsumeIntegralInRange(-2, l.size);
    return l;
}

} // namespace

void decode_scene(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    scene.lights = in.ConsumeIntegralInRange(1, 16);
    int32_t before, after;
    decode_links(in, &before, &after);

    const size_t block_words = static_cast<size_t>(field_words + scene.lights);
    const size_t words = static_cast<size_t>(before) + block_words + static_cast<size_t>(after);
    scene.memory = static_cast<uint32_t*>(std::malloc(words * sizeof(uint32_t)));
    std::memset(scene.memory, 0xa5, words * sizeof(uint32_t));
    scene.block = scene.memory + before;
    scene.values = static_cast<uint32_t*>(std::malloc(block_words * sizeof(uint32_t)));
    decode_block(in, scene.block);
    decode_block(in, scene.values);
    decode_tags(in);
    keep_lights_within_block();

    for (Level& level : scene.levels)
        decode_state(in, level);
    scene.stale_child.surface_flag = in.ConsumeIntegral<uint8_t>();
    if (in.ConsumeBool())
        scene.levels[0].state.child = &scene.stale_child;

    scene.reflection = decode_trace(in);
    scene.environment = decode_trace(in);
    scene.inclusive = decode_list(in);
    scene.exclusive = decode_list(in);
    scene.n_samples = in.ConsumeIntegralInRange(0, max_script);
    for (int32_t k = 0; k < scene.n_samples; ++k) {
        scene.sample_more[k] = in.ConsumeIntegralInRange(0, 3) != 0;
        scene.sample_color[k] = any_color(in);
    }
    scene.n_phong = in.ConsumeIntegralInRange(0, max_script);
    for (int32_t k = 0; k < scene.n_phong; ++k)
        scene.phong[k] = any_float(in);
}

void release_scene() {
    std::free(scene.memory);
    std::free(scene.values);
    std::free(scene.inclusive.list);
    std::free(scene.exclusive.list);
    scene = FuzzCase();
}

const uint32_t* effective(ParamWord word) {
    const bool connected = scene.link_words != 0 && scene.block[word + scene.link_words] != 0 &&
                           (scene.answered >> word & 1);
    return (connected ? scene.values : scene.block) + word;
}

float effective_float(ParamWord word) {
    float f;
    std::memcpy(&f, effective(word), sizeof f);
    return f;
}

int32_t effective_int(ParamWord word) {
    int32_t i;
    std::memcpy(&i, effective(word), sizeof i);
    return i;
}
