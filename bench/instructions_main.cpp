// Shades one request again and again for callgrind, through the library or the
// baseline: instructions.sh counts only what runs inside `xray_measure`, after a
// first call has resolved every host operation the request needs.
#include "bench/baseline.h"
#include "render/util/whole_number.h"

#include <cstdio>
#include <cstring>
#include <optional>

extern "C" __attribute__((noinline)) void xray_measure(qorv_xraytexture_fn shade,
                                                       ShadingRequest* scene, int calls) {
    for (int i = 0; i < calls; ++i)
        shade(&scene->result, &scene->state, &scene->block.params);
}

int usage() {
    std::fprintf(stderr,
                 "usage: xray_instructions library|baseline LIGHTS SAMPLES CALLS\n"
                 "  LIGHTS from 0 to %d; SAMPLES and CALLS whole numbers from 1\n",
                 max_lights);
    return 2;
}

int main(int argc, char** argv) {
    if (argc != 5)
        return usage();
    const bool baseline = std::strcmp(argv[1], "baseline") == 0;
    const std::optional<int> lights = xr::whole_number<int>(argv[2]),
                             samples = xr::whole_number<int>(argv[3]),
                             calls = xr::whole_number<int>(argv[4]);
    if ((!baseline && std::strcmp(argv[1], "library") != 0) || !lights || *lights > max_lights ||
        !samples || *samples < 1 || !calls || *calls < 1)
        return usage();
    ShadingRequest scene(*lights, *samples);
    bind_baseline(modules().ops);
    const qorv_xraytexture_fn shade = baseline ? baseline_shade : modules().shade;
    shade(&scene.result, &scene.state, &scene.block.params);
    xray_measure(shade, &scene, *calls);
    return 0;
}
