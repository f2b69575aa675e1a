// The shader through the library against the inline baseline, over lights and
// samples.
#include "bench/baseline.h"
#include "bench/paired.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The baseline is only a limit if it does the same work: it must give the
// library's result to the bit.
void require_same_result(ShadingRequest& scene) {
    Color expected{}, got{};
    const int32_t library = modules().shade(&expected, &scene.state, &scene.block.params);
    const int32_t baseline = baseline_shade(&got, &scene.state, &scene.block.params);
    if (library != baseline || std::memcmp(&expected, &got, sizeof got) != 0) {
        std::fprintf(stderr, "bench: the baseline's result differs from the library's\n");
        std::abort();
    }
}

void library_and_baseline(benchmark::State& st) {
    ShadingRequest scene(static_cast<int>(st.range(0)), static_cast<int>(st.range(1)));
    bind_baseline(modules().ops);
    require_same_result(scene);
    // Both are called through pointers the compiler cannot see through, as a host calls.
    const qorv_xraytexture_fn library = opaque(modules().shade);
    const qorv_xraytexture_fn baseline = opaque<qorv_xraytexture_fn>(baseline_shade);
    time_paired(
        st, 64, "library_ns",
        [&] {
            benchmark::DoNotOptimize(library(&scene.result, &scene.state, &scene.block.params));
        },
        "baseline_ns",
        [&] {
            benchmark::DoNotOptimize(baseline(&scene.result, &scene.state, &scene.block.params));
        });
}

} // namespace

BENCHMARK(library_and_baseline)
    ->Name("shade")
    ->ArgNames({"lights", "samples"})
    ->ArgsProduct({{0, 1, 4, 16}, {1, 4, 16}});
