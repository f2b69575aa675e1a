/*
 * minimal_host: the whole integration of qorv_xraytexture in one C file.
 *
 * A host renderer does four things: it exports the seven operations the shader
 * calls back, loads the library, checks its version and hands it the module
 * that exports the operations. Then it calls the shader wherever a surface
 * carries it. This host's scene is one flat surface turned to the viewer at a
 * row of angles, in front of a layer that covers half of the view; the other
 * half sees a gradient environment. One point light makes the highlight.
 *
 * Usage: minimal_host [LIBRARY]   (default: the library the package installed;
 * a name without a slash is looked for where the platform's loader looks)
 */
#include <qorv_xraytexture.h>

#include <math.h>
#include <stdio.h>
#include <string.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#ifndef QORV_XRAYTEXTURE_MODULE
#if defined(_WIN32)
#define QORV_XRAYTEXTURE_MODULE "qorv_xraytexture.dll"
#else
#define QORV_XRAYTEXTURE_MODULE "qorv_xraytexture.so"
#endif
#endif

/* The host's own data for one shading request. It travels in the host's bytes
 * of RenderState, as any host keeps its bookkeeping there. */
typedef struct Surface {
    Vector3 normal;
    int over_layer; /* whether the layer lies behind this point */
} Surface;

static const Surface* surface_of(const RenderState* state) {
    const Surface* surface;
    memcpy(&surface, state->host_private0, sizeof surface);
    return surface;
}

static const Tag point_light = 1;
static const Vector3 toward_light = {0.8f, 0.0f, 0.6f}; /* unit length */
static const Color layer = {0.9f, 0.45f, 0.1f, 1.0f};

static float dot(Vector3 a, Vector3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

/* The seven operations, declared exported by the header's list: the compiler
 * checks each definition below against its declaration. */
QORV_XRAYTEXTURE_HOST_OPERATIONS(QORV_XRAYTEXTURE_EXPORTED_OPERATION)

/* The see-through ray finds the layer, where there is one. */
int32_t mi_trace_reflection(Color* result, RenderState* state, Vector3* direction) {
    (void)direction;
    state->child = NULL;
    if (!surface_of(state)->over_layer)
        return 0;
    *result = layer;
    return 1;
}

/* A sky that brightens towards the zenith. */
int32_t mi_trace_environment(Color* result, RenderState* state, Vector3* direction) {
    const float up = 0.5f + 0.5f * direction->y;
    (void)state;
    result->r = 0.2f + 0.3f * up;
    result->g = 0.3f + 0.4f * up;
    result->b = 0.5f + 0.5f * up;
    result->a = 1.0f;
    return 1;
}

/* One white sample of the point light, then no more. */
int32_t mi_sample_light(Color* light_color, Vector3* light_direction, float* cosine,
                        RenderState* state, Tag light, int32_t* sample_count) {
    static const Color white = {1.0f, 1.0f, 1.0f, 1.0f};
    if (light != point_light || *sample_count != 0)
        return 0;
    *light_color = white;
    *light_direction = toward_light;
    *cosine = dot(surface_of(state)->normal, toward_light);
    *sample_count = 1;
    return 1;
}

/* This host has no light lists to offer: the lights stay as given. */
int32_t mi_inclusive_lightlist(int32_t* count, Tag** list, RenderState* state) {
    (void)count, (void)list, (void)state;
    return 1;
}

int32_t mi_exclusive_lightlist(int32_t* count, Tag** list, RenderState* state) {
    (void)count, (void)list, (void)state;
    return 1;
}

/* Nothing is connected here; null keeps the value stored in the block. */
void* mi_phen_eval(RenderState* state, void* param) {
    (void)state, (void)param;
    return NULL;
}

/* Phong: the light mirrored about the normal, against the way back to the eye. */
float mi_phong_specular(float exponent, RenderState* state, Vector3* light_direction) {
    const Vector3 n = surface_of(state)->normal;
    const float cos_light = dot(n, *light_direction);
    Vector3 mirrored;
    if (cos_light <= 0.0f)
        return 0.0f;
    mirrored.x = 2.0f * cos_light * n.x - light_direction->x;
    mirrored.y = 2.0f * cos_light * n.y - light_direction->y;
    mirrored.z = 2.0f * cos_light * n.z - light_direction->z;
    return mirrored.z > 0.0f ? powf(mirrored.z, exponent) : 0.0f; /* the eye looks down -z */
}

/* Loading, the only part that differs between platforms. */
#if defined(_WIN32)
static void* open_library(const char* path) {
    return (void*)LoadLibraryA(path);
}
static void report_load_failure(const char* path) {
    fprintf(stderr, "minimal_host: cannot load %s: system error %lu\n", path,
            (unsigned long)GetLastError());
}
/* Copies the address into the function pointer `fn`: ISO C converts no
 * function pointer to or from an object pointer. */
static int find(void* library, const char* name, void* fn) {
    FARPROC address = GetProcAddress((HMODULE)library, name);
    memcpy(fn, &address, sizeof address);
    return address != NULL;
}
static void* this_program(void) {
    return (void*)GetModuleHandleA(NULL);
}
#else
static void* open_library(const char* path) {
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}
static void report_load_failure(const char* path) {
    const char* why = dlerror();
    fprintf(stderr, "minimal_host: cannot load %s: %s\n", path, why ? why : "unknown error");
}
static int find(void* library, const char* name, void* fn) {
    void* address = dlsym(library, name);
    memcpy(fn, &address, sizeof address);
    return address != NULL;
}
static void* this_program(void) {
    return dlopen(NULL, RTLD_NOW);
}
#endif

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : QORV_XRAYTEXTURE_MODULE;
    void* library;
    qorv_xraytexture_version_fn version;
    miSetModuleHandle_fn set_module_handle;
    qorv_xraytexture_fn shade;
    ShaderRecord record;
    XrayParams params; /* room for one light: the block's own */
    int angle;

    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        fprintf(stderr, "usage: minimal_host [LIBRARY]\n");
        return 2;
    }
    library = open_library(path);
    if (!library) {
        report_load_failure(path);
        return 1;
    }
    if (!find(library, "qorv_xraytexture_version", &version) ||
        !find(library, "miSetModuleHandle", &set_module_handle) ||
        !find(library, "qorv_xraytexture", &shade)) {
        fprintf(stderr, "minimal_host: %s is not the x-ray shader library\n", path);
        return 1;
    }
    if (version() != QORV_XRAYTEXTURE_VERSION) {
        fprintf(stderr, "minimal_host: %s is version %d of the shader; this host needs %d\n", path,
                (int)version(), QORV_XRAYTEXTURE_VERSION);
        return 1;
    }
    /* The library finds the seven operations in this program's own exports. */
    set_module_handle(this_program());

    /* The block as the shader's declaration gives its defaults, lit by one light. */
    memset(&record, 0, sizeof record); /* link_offset 0: no parameter is connected */
    memset(&params, 0, sizeof params);
    params.color.r = 0.25f, params.color.g = 0.55f, params.color.b = 1.0f, params.color.a = 1.0f;
    params.power = 2.0f;
    params.specular_weight = 1.0f;
    params.specular_exponent = 40.0f;
    params.specular.r = params.specular.g = params.specular.b = params.specular.a = 1.0f;
    params.n_light = 1;
    params.light[0] = point_light;

    printf("angle  facing   over the layer: r g b a     over the sky: r g b a\n");
    for (angle = 0; angle <= 90; angle += 15) {
        const float theta = (float)angle * 3.14159265f / 180.0f;
        Surface surface;
        RenderState state;
        Color over_layer, over_sky;
        const Surface* data = &surface;
        surface.normal.x = sinf(theta), surface.normal.y = 0.0f, surface.normal.z = cosf(theta);
        memset(&state, 0, sizeof state);
        memcpy(state.host_private0, &data, sizeof data);
        state.direction.x = 0.0f, state.direction.y = 0.0f, state.direction.z = -1.0f;
        state.facing = surface.normal.z;
        state.shader = &record;

        surface.over_layer = 1;
        shade(&over_layer, &state, &params);
        surface.over_layer = 0;
        shade(&over_sky, &state, &params);
        printf("%5d  %6.3f   %.3f %.3f %.3f %.3f     %.3f %.3f %.3f %.3f\n", angle,
               fabsf(state.facing), over_layer.r, over_layer.g, over_layer.b, over_layer.a,
               over_sky.r, over_sky.g, over_sky.b, over_sky.a);
    }
    /* A table cut short by a full disk or a closed pipe is a failure. */
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fprintf(stderr, "minimal_host: cannot write the table\n");
        return 1;
    }
    return 0;
}
