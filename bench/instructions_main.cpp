// Shades one request again and again for callgrind, through the library or the
// baseline: instructions.sh counts only what runs inside `xray_measure`, after a
// first call has resolved every host operation the request needs.
#include "bench/baseline.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" __attribute__((noinline)) void xray_measure(qorv_xraytexture_fn shade,
                                                       ShadingRequest* scene, int calls) {
    for (int i = 0; i < calls; ++i)
        shade(&scene->result, &scene->state, &scene->block.params);
}

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: xray_instructions library|baseline LIGHTS SAMPLES CALLS\n");
        return 2;
    }
    const int lights = std::atoi(argv[2]);
    if (lights < 0 || lights > max_lights) {
        std::fprintf(stderr, "xray_instructions: at most %d lights\n", max_lights);
        return 2;
    }
    ShadingRequest scene(lights, std::atoi(argv[3]));
    bind_baseline(modules().ops);
    const qorv_xraytexture_fn shade =
        std::strcmp(argv[1], "baseline") == 0 ? baseline_shade : modules().shade;
    shade(&scene.result, &scene.state, &scene.block.params);
    xray_measure(shade, &scene, std::atoi(argv[4]));
    return 0;
}
