/*
 * qorv_xraytexture: an x-ray material shader, loaded by a host renderer at run
 * time. This header is the whole binary interface, valid C99 and C++ (C++98
 * on):
 *
 *   - the host records the shader reads (Color, Vector3, Tag, ShaderRecord,
 *     RenderState), with the published fields at their offsets and the host's
 *     own bytes between them, laid out as a 64-bit host lays them out;
 *   - XrayParams, the shader's parameter block, ending with its light array;
 *   - the ray types the shader declines;
 *   - the three functions the library exports, and QORV_XRAYTEXTURE_VERSION,
 *     the version they must answer;
 *   - the seven operations the host must export, as one list
 *     (QORV_XRAYTEXTURE_HOST_OPERATIONS) and a typedef each.
 *
 * Every offset and size is checked by the compiler.
 *
 * A host that already defines the host records (under these names, or as
 * typedefs of its own) defines QORV_XRAYTEXTURE_NO_HOST_RECORDS before
 * including this header: Color, Vector3, Tag, ShaderRecord and RenderState are
 * then left to it, and everything else stays. Its Color must be four floats and
 * its Tag 32 bits, since the parameter block holds them.
 */
#ifndef QORV_XRAYTEXTURE_H
#define QORV_XRAYTEXTURE_H

#include <stddef.h>
#include <stdint.h>

/* The version qorv_xraytexture_version() answers. A new major version changes
 * the binary interface: a host checks it before anything else. */
#define QORV_XRAYTEXTURE_VERSION 2

#if defined(_WIN32)
#define QORV_XRAYTEXTURE_EXPORT __declspec(dllexport)
#else
#define QORV_XRAYTEXTURE_EXPORT __attribute__((visibility("default")))
#endif

/* The library's own functions are exported by the module that defines them,
 * which defines QORV_XRAYTEXTURE_SHADER_MODULE; a host sees plain declarations. */
#if defined(QORV_XRAYTEXTURE_SHADER_MODULE)
#define QORV_XRAYTEXTURE_SHADER_API QORV_XRAYTEXTURE_EXPORT
#else
#define QORV_XRAYTEXTURE_SHADER_API
#endif

/* MSVC has static_assert in every mode, whatever __cplusplus says. */
#if defined(__cplusplus) && (__cplusplus >= 201103L || defined(_MSC_VER))
#define QORV_XRAYTEXTURE_STATIC_ASSERT(condition, what) static_assert(condition, what)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define QORV_XRAYTEXTURE_STATIC_ASSERT(condition, what) _Static_assert(condition, what)
#else
/* C99 and C++98 have no static assertion: an array of negative size stops the
 * compiler. */
#define QORV_XRAYTEXTURE_STATIC_ASSERT(condition, what)                                            \
    QORV_XRAYTEXTURE_STATIC_ASSERT_AT(condition, __LINE__)
#define QORV_XRAYTEXTURE_STATIC_ASSERT_AT(condition, line)                                         \
    QORV_XRAYTEXTURE_STATIC_ASSERT_NAMED(condition, line)
#define QORV_XRAYTEXTURE_STATIC_ASSERT_NAMED(condition, line)                                      \
    typedef char qorv_xraytexture_static_assert_##line[(condition) ? 1 : -1]
#endif

#ifdef __cplusplus
extern "C" {
#endif

#ifndef QORV_XRAYTEXTURE_NO_HOST_RECORDS

typedef struct Color {
    float r, g, b, a;
} Color;

typedef struct Vector3 {
    float x, y, z;
} Vector3;

/* Identifies a scene element; here always a light. */
typedef uint32_t Tag;

/* Only the published fields are named; the host owns the bytes between them. */
typedef struct ShaderRecord {
    uint8_t host_private0[96];
    int32_t link_offset; /* parameter address + link_offset = its connection tag; 0: none */
} ShaderRecord;

typedef struct RenderState RenderState;
struct RenderState {
    uint8_t host_private0[64];
    int32_t ray_type;
    uint8_t host_private1[2];
    uint8_t surface_flag;
    uint8_t host_private2[37];
    Vector3 direction; /* of the incident ray */
    uint8_t host_private3[112];
    float facing; /* cosine of the normal and the incident ray */
    uint8_t host_private4[76];
    const ShaderRecord* shader; /* the running shader's record */
    RenderState* child;         /* state of the ray last cast from this one; may be null */
};

QORV_XRAYTEXTURE_STATIC_ASSERT(sizeof(Vector3) == 12, "Vector3 is three floats");
QORV_XRAYTEXTURE_STATIC_ASSERT(offsetof(ShaderRecord, link_offset) == 96,
                               "ShaderRecord.link_offset");
QORV_XRAYTEXTURE_STATIC_ASSERT(offsetof(RenderState, ray_type) == 64, "RenderState.ray_type");
QORV_XRAYTEXTURE_STATIC_ASSERT(offsetof(RenderState, surface_flag) == 70,
                               "RenderState.surface_flag");
QORV_XRAYTEXTURE_STATIC_ASSERT(offsetof(RenderState, direction) == 108, "RenderState.direction");
QORV_XRAYTEXTURE_STATIC_ASSERT(offsetof(RenderState, facing) == 232, "RenderState.facing");
QORV_XRAYTEXTURE_STATIC_ASSERT(offsetof(RenderState, shader) == 312, "RenderState.shader");
QORV_XRAYTEXTURE_STATIC_ASSERT(offsetof(RenderState, child) == 320, "RenderState.child");
QORV_XRAYTEXTURE_STATIC_ASSERT(sizeof(RenderState) == 328, "RenderState ends with child");

#endif /* QORV_XRAYTEXTURE_NO_HOST_RECORDS */

QORV_XRAYTEXTURE_STATIC_ASSERT(sizeof(Color) == 16, "Color is four floats");
QORV_XRAYTEXTURE_STATIC_ASSERT(sizeof(Tag) == 4, "Tag is 32 bits");

/* Ray types (RenderState.ray_type) for which the shader gives no result. */
enum { QORV_XRAYTEXTURE_RAY_SHADOW = 5, QORV_XRAYTEXTURE_RAY_DISPLACE = 16 };

/* Values of XrayParams.mode: how the host turns the light list into the lights
 * sampled. Any other value samples the list as given. */
enum { QORV_XRAYTEXTURE_LIGHTS_INCLUSIVE = 1, QORV_XRAYTEXTURE_LIGHTS_EXCLUSIVE = 2 };

/* The parameter block, filled by the host from the shader's declaration
 * (share/qorv_xraytexture/qorv_xraytexture.json). Any parameter may be
 * connected: see ShaderRecord.link_offset. */
typedef struct XrayParams {
    Color color;             /* the surface's own colour, alpha included */
    float power;             /* exponent applied to the facing cosine */
    int32_t skip_flagged;    /* give no result on flagged surfaces */
    int32_t invert;          /* swap the see-through and surface weights */
    float specular_weight;   /* scales every highlight; <= 0 samples no light */
    float specular_exponent; /* Phong exponent handed to the host */
    Color specular;          /* highlight tint; alpha is not read */
    int32_t mode;            /* QORV_XRAYTEXTURE_LIGHTS_INCLUSIVE, _EXCLUSIVE, else as given */
    int32_t i_light;         /* first light used within `light` */
    int32_t n_light;         /* number of lights used */
    Tag light[1];            /* the block ends with this array; the host sizes it */
} XrayParams;

QORV_XRAYTEXTURE_STATIC_ASSERT(offsetof(XrayParams, color) == 0, "XrayParams.color");
QORV_XRAYTEXTURE_STATIC_ASSERT(offsetof(XrayParams, power) == 16, "XrayParams.power");
QORV_XRAYTEXTURE_STATIC_ASSERT(offsetof(XrayParams, skip_flagged) == 20, "XrayParams.skip_flagged");
QORV_XRAYTEXTURE_STATIC_ASSERT(offsetof(XrayParams, invert) == 24, "XrayParams.invert");
QORV_XRAYTEXTURE_STATIC_ASSERT(offsetof(XrayParams, specular_weight) == 28,
                               "XrayParams.specular_weight");
QORV_XRAYTEXTURE_STATIC_ASSERT(offsetof(XrayParams, specular_exponent) == 32,
                               "XrayParams.specular_exponent");
QORV_XRAYTEXTURE_STATIC_ASSERT(offsetof(XrayParams, specular) == 36, "XrayParams.specular");
QORV_XRAYTEXTURE_STATIC_ASSERT(offsetof(XrayParams, mode) == 52, "XrayParams.mode");
QORV_XRAYTEXTURE_STATIC_ASSERT(offsetof(XrayParams, i_light) == 56, "XrayParams.i_light");
QORV_XRAYTEXTURE_STATIC_ASSERT(offsetof(XrayParams, n_light) == 60, "XrayParams.n_light");
QORV_XRAYTEXTURE_STATIC_ASSERT(offsetof(XrayParams, light) == 64, "XrayParams.light");
QORV_XRAYTEXTURE_STATIC_ASSERT(sizeof(XrayParams) == 68, "XrayParams ends with one light");

/*
 * The operations the host exports under these plain names, one line each:
 * X(return type, name, slot, (parameters), (arguments)), where slot is the
 * operation's index in the host's table of shader operations. The library looks
 * each up by name when it first needs it. Expand the list with your own X to
 * declare, define or check them all at once. What mi_phen_eval answers must
 * stay valid and unchanged until the shader's call returns: the shader reads
 * `specular` and `light` through those addresses while it samples the lights.
 */
/* clang-format off */
#define QORV_XRAYTEXTURE_HOST_OPERATIONS(X)                                                        \
    X(int32_t, mi_trace_reflection, 86,                                                            \
      (Color* result, RenderState* state, Vector3* direction), (result, state, direction))         \
    X(int32_t, mi_trace_environment, 89,                                                           \
      (Color* result, RenderState* state, Vector3* direction), (result, state, direction))         \
    X(int32_t, mi_sample_light, 104,                                                               \
      (Color* light_color, Vector3* light_direction, float* cosine, RenderState* state, Tag light, \
       int32_t* sample_count),                                                                     \
      (light_color, light_direction, cosine, state, light, sample_count))                          \
    X(int32_t, mi_inclusive_lightlist, 112,                                                        \
      (int32_t* count, Tag** list, RenderState* state), (count, list, state))                      \
    X(int32_t, mi_exclusive_lightlist, 113,                                                        \
      (int32_t* count, Tag** list, RenderState* state), (count, list, state))                      \
    X(void*, mi_phen_eval, 115,                                                                    \
      (RenderState* state, void* param), (state, param))                                           \
    X(float, mi_phong_specular, 234,                                                               \
      (float exponent, RenderState* state, Vector3* light_direction),                              \
      (exponent, state, light_direction))
/* clang-format on */

/* mi_trace_reflection_fn and so on: a pointer to each operation. */
#define QORV_XRAYTEXTURE_OPERATION_TYPEDEF(type, name, slot, parameters, arguments)                \
    typedef type(*name##_fn) parameters;
QORV_XRAYTEXTURE_HOST_OPERATIONS(QORV_XRAYTEXTURE_OPERATION_TYPEDEF)

/* Declares an operation exported by the host; a host's definitions that follow
 * these declarations are checked against them and exported. C linkage in C++
 * too, wherever the list is expanded: the library finds them by plain name. A
 * C++ host writes its definitions inside extern "C" as well: there one that
 * differs is an error, outside it is an overload the library never finds. */
#if defined(__cplusplus)
#define QORV_XRAYTEXTURE_EXPORTED_OPERATION(type, name, slot, parameters, arguments)               \
    extern "C" QORV_XRAYTEXTURE_EXPORT type name parameters;
#else
#define QORV_XRAYTEXTURE_EXPORTED_OPERATION(type, name, slot, parameters, arguments)               \
    QORV_XRAYTEXTURE_EXPORT type name parameters;
#endif

/* The library's exports. Hosts find them by name at run time. */

/* Answers QORV_XRAYTEXTURE_VERSION. */
QORV_XRAYTEXTURE_SHADER_API int32_t qorv_xraytexture_version(void);

/* Gives the library the module that exports the host operations (null: the
 * platform's default scope) and forgets every operation looked up so far.
 * May be called at any time, from any thread. */
QORV_XRAYTEXTURE_SHADER_API void miSetModuleHandle(void* module);

/* Shades one request: 1 when `result` was written, 0 when the shader gives no
 * result (then `result` is untouched). Any thread, nested or not. */
QORV_XRAYTEXTURE_SHADER_API int32_t qorv_xraytexture(Color* result, RenderState* state,
                                                     XrayParams* params);

typedef int32_t (*qorv_xraytexture_version_fn)(void);
typedef void (*miSetModuleHandle_fn)(void* module);
typedef int32_t (*qorv_xraytexture_fn)(Color* result, RenderState* state, XrayParams* params);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* QORV_XRAYTEXTURE_H */
