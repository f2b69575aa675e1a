#include "bench/summary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

std::string grid_name(int lights, int samples) {
    return "shade/lights:" + std::to_string(lights) + "/samples:" + std::to_string(samples);
}

// One shading time: `lights` x `samples` and the nanoseconds per call.
struct Timing {
    double lights, samples, ns;
};

// Fits ns = a + b * lights + c * lights * samples by least squares on relative
// errors, so that the cheap calls weigh as much as the dear ones.
struct CostModel {
    double a = 0, b = 0, c = 0;
    double at(double lights, double samples) const { return a + b * lights + c * lights * samples; }
};

double determinant(const double m[3][3]) {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
           m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// None when the configurations that ran do not determine the three terms (too
// few of them, or all without lights, or all of one light count).
std::optional<CostModel> fit(const std::vector<Timing>& timings) {
    double normal[3][3] = {}, rhs[3] = {};
    for (const Timing& t : timings) {
        const double x[3] = {1.0, t.lights, t.lights * t.samples};
        const double w = 1.0 / (t.ns * t.ns);
        for (int i = 0; i < 3; ++i) {
            rhs[i] += w * x[i] * t.ns;
            for (int j = 0; j < 3; ++j)
                normal[i][j] += w * x[i] * x[j];
        }
    }
    // The normal matrix is positive semi-definite, so its determinant is at
    // most the product of its diagonal (Hadamard); a vanishing share of that
    // product is a singular system that rounding left off zero.
    const double d = determinant(normal);
    if (!(d > 1e-9 * normal[0][0] * normal[1][1] * normal[2][2]))
        return std::nullopt;
    double solution[3] = {};
    for (int k = 0; k < 3; ++k) {
        double m[3][3];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                m[i][j] = j == k ? rhs[i] : normal[i][j];
        solution[k] = determinant(m) / d;
    }
    return CostModel{solution[0], solution[1], solution[2]};
}

} // namespace

void SummaryReporter::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        // A single repetition reports no aggregates: its own figures stand in.
        const bool figure = run.run_type == Run::RT_Aggregate ? run.aggregate_name == "median"
                                                              : run.repetitions <= 1;
        if (figure && !run.error_occurred)
            medians_.insert_or_assign(run.run_name.str(), run);
        repetitions_ = std::max<int>(repetitions_, static_cast<int>(run.repetitions));
    }
}

double SummaryReporter::median(const std::string& name, const std::string& counter) const {
    const auto run = medians_.find(name);
    if (run == medians_.end())
        return -1.0;
    if (counter.empty())
        return run->second.GetAdjustedRealTime();
    const auto value = run->second.counters.find(counter);
    return value == run->second.counters.end() ? -1.0 : static_cast<double>(value->second);
}

void SummaryReporter::print_summary() const {
    std::printf("\nMedians of %d repetitions. The pairs compared (library and baseline, wrapper\n"
                "and direct call, one and two threads) run in alternating blocks, so that a\n"
                "busy machine slows both alike.\n",
                repetitions_);

    std::vector<Timing> timings;
    for (int lights : {0, 1, 4, 16})
        for (int samples : {1, 4, 16})
            if (median(grid_name(lights, samples), "library_ns") > 0)
                timings.push_back({double(lights), double(samples),
                                   median(grid_name(lights, samples), "library_ns")});
    if (!timings.empty()) {
        const std::optional<CostModel> model = fit(timings);
        std::printf("\nShader through the library against the inline baseline (target: ratio <= "
                    "1.10):\n  lights samples  library ns  baseline ns  ratio%s\n",
                    model ? "  off the linear model" : "");
        double worst = 0.0;
        for (const Timing& t : timings) {
            const double baseline = median(grid_name(int(t.lights), int(t.samples)), "baseline_ns");
            std::printf("  %6.0f %7.0f %11.1f %12.1f %6.2f", t.lights, t.samples, t.ns, baseline,
                        t.ns / baseline);
            if (model) {
                const double off = t.ns / model->at(t.lights, t.samples) - 1.0;
                worst = std::max(worst, std::fabs(off));
                std::printf(" %+19.1f%%", 100.0 * off);
            }
            std::printf("\n");
        }
        if (model)
            std::printf(
                "Linear model: %.1f ns a call + %.2f ns a light + %.2f ns a sample; every\n"
                "configuration within %.1f%% of it (target: flat cost per sample, within 10%%)\n",
                model->a, model->b, model->c, 100.0 * worst);
        else
            std::printf("No linear model: the configurations that ran do not determine one.\n");
    }

    const double wrapper = median("call", "wrapper_ns");
    const double direct = median("call", "direct_ns");
    if (wrapper > 0 && direct > 0)
        std::printf("\nWrapper call %.2f ns, direct call through a cached pointer %.2f ns: "
                    "%+.2f ns (target: <= +1 ns)\n",
                    wrapper, direct, wrapper - direct);

    const double one = median("threads/library", "one_thread_ns");
    const double two = median("threads/library", "two_threads_ns");
    const double base_one = median("threads/baseline", "one_thread_ns");
    const double base_two = median("threads/baseline", "two_threads_ns");
    if (one > 0 && two > 0 && base_one > 0 && base_two > 0)
        std::printf(
            "\nConcurrent shading, 4 lights x 4 samples: %.1f ns a call on 1 thread, %.1f ns\n"
            "on 2: %.2f x the throughput (target: >= 1.9; the inline baseline, %.2f x, shows\n"
            "what the machine allowed meanwhile)\n",
            one, two, one / two, base_one / base_two);
}
