// Times two pieces of code in alternating blocks within one benchmark, so that
// a busy machine slows both alike and their ratio survives the noise.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>

// The same value, which the compiler can no longer see through: a function
// pointer behind it is called as a host calls it, never inlined.
template <typename T> T opaque(T value) {
    asm volatile("" : "+r"(value));
    return value;
}

// Runs `first` and `second` `block` times each per iteration, swapping their
// order every iteration, and reports each one's nanoseconds per call as the
// counters named `first_name` and `second_name`.
template <typename First, typename Second>
void time_paired(benchmark::State& st, int block, const char* first_name, First first,
                 const char* second_name, Second second) {
    using clock = std::chrono::steady_clock;
    const auto run = [block](auto& code) {
        const clock::time_point start = clock::now();
        for (int i = 0; i < block; ++i)
            code();
        return clock::now() - start;
    };
    clock::duration first_time{}, second_time{};
    bool first_leads = true;
    for (auto _ : st) {
        if (first_leads) {
            first_time += run(first);
            second_time += run(second);
        } else {
            second_time += run(second);
            first_time += run(first);
        }
        first_leads = !first_leads;
    }
    const double calls = static_cast<double>(st.iterations()) * block;
    st.counters[first_name] = std::chrono::duration<double, std::nano>(first_time).count() / calls;
    st.counters[second_name] =
        std::chrono::duration<double, std::nano>(second_time).count() / calls;
}
