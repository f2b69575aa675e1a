// The fuzz target: shades a scene decoded from the input, nested calls included,
// and checks what a host relies on. The expected values come from what the host
// saw during the call, not from the shader's code.
#include "tests/fuzz/fuzz_case.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <vector>

extern "C" {
int32_t qorv_xraytexture(Color* result, RenderState* state, XrayParams* params);
void miSetModuleHandle(void* module);
}

void fail(const char* why) {
    std::fprintf(stderr, "broken: %s\n", why);
    std::abort();
}

namespace {

bool same(float a, float b) {
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

// A call gives no result only when it declines the ray type, the flagged
// surface or, having found something, the flagged child.
int32_t expected_status(const Level& level) {
    const RenderState& s = level.state;
    if (s.ray_type == QORV_XRAYTEXTURE_RAY_SHADOW || s.ray_type == QORV_XRAYTEXTURE_RAY_DISPLACE)
        return 0;
    const int32_t skip = effective_int(word_skip_flagged);
    if (skip && s.surface_flag)
        return 0;
    if (level.found && skip && s.child && s.child->surface_flag)
        return 0;
    return 1;
}

// The lights the call should sample, in order: the span of the array from
// `i_light` on, or the list the host put in its place.
int32_t expected_lights(const Tag** list) {
    const int32_t mode = effective_int(word_mode);
    int32_t count = effective_int(word_n_light);
    *list = reinterpret_cast<const Tag*>(effective(word_light)) + effective_int(word_i_light);
    const ListAnswer& answer = mode == 1 ? scene.inclusive : scene.exclusive;
    if ((mode == 1 || mode == 2) && answer.replace) {
        count = answer.count;
        *list = answer.list;
    }
    return effective_float(word_specular_weight) > 0.0f && count > 0 ? count : 0;
}

void check_lights(const Level& level) {
    const int32_t mode = effective_int(word_mode);
    if (level.list_calls != (mode == 1 || mode == 2 ? 1 : 0))
        fail("the light list was not handed to the host exactly when the mode asks");
    const Tag* list;
    const int32_t count = expected_lights(&list);
    if (level.n_sampled != count)
        fail("the number of lights sampled is not the number listed");
    for (int32_t k = 0; k < count; ++k)
        if (level.sampled[k] != list[k])
            fail("a light was sampled that is not the next one listed");
}

void check_colour(const Level& level, const Color& result) {
    const Color& base = *reinterpret_cast<const Color*>(effective(word_color));
    const float t = powf(std::fabs(level.state.facing), effective_float(word_power));
    const bool invert = effective_int(word_invert) != 0;
    const float see_weight = invert ? 1.0f - t : t;
    const float surface_weight = invert ? t : 1.0f - t;
    if (!same(result.a, base.a * surface_weight + see_weight * level.see.a))
        fail("alpha is not the blend of the surface's and the see-through alphas");
    if (level.n_sampled != 0)
        return;
    // No light sampled: the highlight is zero and the colour blends alike.
    const float h = 0.0f;
    if (!same(result.r, (base.r + h) * surface_weight + see_weight * level.see.r) ||
        !same(result.g, (base.g + h) * surface_weight + see_weight * level.see.g) ||
        !same(result.b, (base.b + h) * surface_weight + see_weight * level.see.b))
        fail("without highlights the colour is not the blend of surface and see-through");
}

} // namespace

int32_t shade_and_check(Color* result, int index) {
    Level& level = scene.levels[index];
    const Color before = *result;
    const int32_t status =
        qorv_xraytexture(result, &level.state, reinterpret_cast<XrayParams*>(scene.block));
    if (status != expected_status(level))
        fail("the call gave a result when it should have declined, or the reverse");
    if (status == 0) {
        if (std::memcmp(result, &before, sizeof before) != 0)
            fail("a call that gave no result wrote it");
        const int32_t type = level.state.ray_type;
        if ((type == QORV_XRAYTEXTURE_RAY_SHADOW || type == QORV_XRAYTEXTURE_RAY_DISPLACE) &&
            level.host_calls != 0)
            fail("a declined ray type reached the host");
        if (level.n_sampled != 0 || level.list_calls != 0)
            fail("a call that gave no result went on to the lights");
        return 0;
    }
    if (level.traces == 0)
        fail("no see-through ray was cast");
    check_lights(level);
    check_colour(level, *result);
    return 1;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The host operations are this program's own exports.
    void* self = dlopen(nullptr, RTLD_NOW);
    if (!self || !dlsym(self, "mi_trace_reflection"))
        fail("the fuzz program does not export the host operations");
    miSetModuleHandle(self);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    decode_scene(data, size);
    const size_t block_bytes = (field_words + static_cast<size_t>(scene.lights)) * sizeof(uint32_t);
    const std::vector<uint8_t> block(reinterpret_cast<uint8_t*>(scene.block),
                                     reinterpret_cast<uint8_t*>(scene.block) + block_bytes);
    const std::vector<uint8_t> values(reinterpret_cast<uint8_t*>(scene.values),
                                      reinterpret_cast<uint8_t*>(scene.values) + block_bytes);

    Color result;
    std::memset(&result, 0xcd, sizeof result);
    shade_and_check(&result, 0);

    if (std::memcmp(block.data(), scene.block, block_bytes) != 0 ||
        std::memcmp(values.data(), scene.values, block_bytes) != 0)
        fail("the shader wrote to its parameters");
    release_scene();
    return 0;
}
