// Runs the benchmarks with repetitions (the machine may be busy), then prints
// the figures that matter, each from the medians of the repetitions.
#include "bench/summary.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // Defaults first, so that the same flags given on the command line win.
    std::vector<std::string> args = {argv[0],
                                     "--benchmark_repetitions=9",
                                     "--benchmark_enable_random_interleaving=true",
                                     "--benchmark_report_aggregates_only=true",
                                     "--benchmark_min_time=0.1",
                                     "--benchmark_min_warmup_time=0.02"};
    args.insert(args.end(), argv + 1, argv + argc);
    std::vector<char*> pointers;
    for (std::string& arg : args)
        pointers.push_back(arg.data());
    int count = static_cast<int>(pointers.size());
    benchmark::Initialize(&count, pointers.data());
    if (benchmark::ReportUnrecognizedArguments(count, pointers.data()))
        return 1;

    SummaryReporter reporter;
    const size_t ran = benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    // A filter that matches nothing is a mistake, not a run with nothing to report.
    if (ran == 0) {
        std::fprintf(stderr, "xray_bench: no benchmark ran; see --benchmark_filter\n");
        return 1;
    }
    reporter.print_summary();
    return 0;
}
