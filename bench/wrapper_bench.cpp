// One wrapper call against a direct call through a cached function pointer.
// The wrapper is the library's own inline code, compiled here with its entry
// table so that it can be timed alone; both call the same host operation.
#include "bench/paired.h"
#include "bench/shading_request.h"
#include "host/host_entry.h"

#include <benchmark/benchmark.h>

namespace {

void wrapper_and_direct(benchmark::State& st) {
    miSetModuleHandle(modules().host);
    RenderState state{};
    Vector3 direction = {0.0f, 0.0f, 1.0f};
    const float exponent = 10.0f;
    host::mi_phong_specular(exponent, &state, &direction); // resolves the slot

    const mi_phong_specular_fn direct = opaque(modules().ops.mi_phong_specular);
    time_paired(
        st, 1024, "wrapper_ns",
        [&] { benchmark::DoNotOptimize(host::mi_phong_specular(exponent, &state, &direction)); },
        "direct_ns", [&] { benchmark::DoNotOptimize(direct(exponent, &state, &direction)); });
}

} // namespace

BENCHMARK(wrapper_and_direct)->Name("call");
