// One fuzz case: a parameter block with its connection tags, the values the
// host evaluates connected parameters to, render states for the outer call and
// the calls nested inside its see-through rays, and a script the host answers
// from. Everything is decoded from the fuzz input and stays within what a host
// may hand the shader.
#pragma once

#include <qorv_xraytexture.h>

#include <cstddef>
#include <cstdint>

constexpr int max_levels = 3;   // the outer call and two nested inside it
constexpr int max_script = 16;  // entries of the sample and Phong sequences
constexpr int max_samples = 8;  // a light gives at most this many samples
constexpr int max_list = 8;     // lights in a list the host substitutes
constexpr int max_sampled = 64; // lights noted per call
constexpr int field_words = offsetof(XrayParams, light) / 4; // the block's words before `light`

// Word offsets of the parameters within the block.
enum ParamWord : int {
    word_color = offsetof(XrayParams, color) / 4,
    word_power = offsetof(XrayParams, power) / 4,
    word_skip_flagged = offsetof(XrayParams, skip_flagged) / 4,
    word_invert = offsetof(XrayParams, invert) / 4,
    word_specular_weight = offsetof(XrayParams, specular_weight) / 4,
    word_specular_exponent = offsetof(XrayParams, specular_exponent) / 4,
    word_specular = offsetof(XrayParams, specular) / 4,
    word_mode = offsetof(XrayParams, mode) / 4,
    word_i_light = offsetof(XrayParams, i_light) / 4,
    word_n_light = offsetof(XrayParams, n_light) / 4,
    word_light = field_words,
};

constexpr uint32_t param_words =
    1u << word_color | 1u << word_power | 1u << word_skip_flagged | 1u << word_invert |
    1u << word_specular_weight | 1u << word_specular_exponent | 1u << word_specular |
    1u << word_mode | 1u << word_i_light | 1u << word_n_light | 1u << word_light;

struct TraceAnswer {
    int32_t result = 0;
    bool write = false; // write the colour even when the result is 0
    Color color = {};
    bool has_child = false; // on success, leave the level's child state behind
    bool nest = false;      // reflection only: shade the surface behind, nested
};

struct ListAnswer {
    bool replace = false;
    int32_t count = 0;
    Tag* list = nullptr; // host-owned, `size` tags
    int32_t size = 0;
};

// What the host saw of one shader call; one per nesting level.
struct Level {
    RenderState state{};
    RenderState child{}; // what a successful trace leaves as the child
    int32_t traces = 0;
    int32_t found = 0; // the last trace's result
    Color see = {};    // the see-through colour after the last trace
    Tag sampled[max_sampled] = {};
    int32_t n_sampled = 0; // lights sampled, one per light, in order
    int32_t list_calls = 0;
    uint32_t evaluated = 0; // bit per parameter word evaluated
    int32_t host_calls = 0;
};

struct FuzzCase {
    // [tags before][block: fields, lights][tags after], allocated to size so that
    // a read past either end is caught.
    uint32_t* memory = nullptr;
    uint32_t* block = nullptr;
    uint32_t* values = nullptr; // what mi_phen_eval points at, laid out as the block
    int32_t lights = 0;         // entries of the `light` array
    int32_t link_words = 0;     // link_offset / 4
    uint32_t answered = 0;      // bit per parameter word that mi_phen_eval evaluates
    ShaderRecord record{};
    RenderState stale_child{}; // left in the outer state by an earlier ray

    TraceAnswer reflection, environment;
    ListAnswer inclusive, exclusive;
    int32_t n_samples = 0;
    bool sample_more[max_script] = {};
    Color sample_color[max_script] = {};
    int32_t n_phong = 0;
    float phong[max_script] = {};
    int32_t sample_cursor = 0;
    int32_t phong_cursor = 0;

    Level levels[max_levels];
};

extern FuzzCase scene;

// Builds `scene` from the input; release_scene frees what it allocated.
void decode_scene(const uint8_t* data, size_t size);
void release_scene();

// The word a parameter is read from: its own, or the evaluated one when the
// host has connected it and answers the evaluation.
const uint32_t* effective(ParamWord word);
float effective_float(ParamWord word);
int32_t effective_int(ParamWord word);

// Shades level `level` with the block and checks what it did; the host calls it
// for nested levels from inside a see-through ray.
int32_t shade_and_check(Color* result, int level);

// Reports a broken invariant and stops, so that the fuzzer keeps the input.
[[noreturn]] void fail(const char* why);
