// Concurrent shading: a request shaded on one thread, then on two at once, in
// alternating phases so that a busy machine weighs on both alike. Each thread
// shades its own request; the library only reads its entry table.
#include "bench/baseline.h"
#include "bench/paired.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int phase_calls = 4096;

void shade_phase(qorv_xraytexture_fn shade, ShadingRequest& scene) {
    for (int i = 0; i < phase_calls; ++i)
        benchmark::DoNotOptimize(shade(&scene.result, &scene.state, &scene.block.params));
}

// A second thread that sleeps between phases. Both threads start a phase only
// once the partner is awake, so that waking it is not timed.
class Partner {
  public:
    explicit Partner(qorv_xraytexture_fn shade) : shade_(shade), thread_([this] { run(); }) {}
    ~Partner() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    Partner(const Partner&) = delete;
    Partner& operator=(const Partner&) = delete;

    // Shades a phase here and on the partner at once; the time until both are done.
    Clock::duration shade_together(ShadingRequest& scene) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++requested_;
        }
        wake_.notify_one();
        while (!ready_.load(std::memory_order_acquire))
            std::this_thread::yield();
        ready_.store(false, std::memory_order_relaxed);
        const Clock::time_point start = Clock::now();
        go_.store(true, std::memory_order_release);
        shade_phase(shade_, scene);
        while (!done_.load(std::memory_order_acquire))
            std::this_thread::yield();
        const Clock::duration elapsed = Clock::now() - start;
        done_.store(false, std::memory_order_relaxed);
        return elapsed;
    }

  private:
    void run() {
        ShadingRequest scene(4, 4);
        unsigned served = 0;
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [&] { return quit_ || requested_ != served; });
                if (quit_)
                    return;
                served = requested_;
            }
            ready_.store(true, std::memory_order_release);
            while (!go_.load(std::memory_order_acquire))
                std::this_thread::yield();
            go_.store(false, std::memory_order_relaxed);
            shade_phase(shade_, scene);
            done_.store(true, std::memory_order_release);
        }
    }

    const qorv_xraytexture_fn shade_;
    std::mutex mutex_;
    std::condition_variable wake_;
    unsigned requested_ = 0;
    bool quit_ = false;
    std::atomic<bool> ready_{false}, go_{false}, done_{false};
    std::thread thread_; // last: it starts running at construction
};

double median_ns(std::vector<Clock::duration>& spans) {
    std::nth_element(spans.begin(), spans.begin() + spans.size() / 2, spans.end());
    return std::chrono::duration<double, std::nano>(spans[spans.size() / 2]).count();
}

// Medians over the phases rather than totals: a phase in which another process
// took one of the cores is an outlier, not a measure of the library.
void one_and_two_threads(benchmark::State& st, qorv_xraytexture_fn shade) {
    shade = opaque(shade);
    ShadingRequest scene(4, 4);
    Partner partner(shade);
    std::vector<Clock::duration> one, two;
    bool one_leads = true;
    for (auto _ : st) {
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == one_leads) {
                const Clock::time_point start = Clock::now();
                shade_phase(shade, scene);
                one.push_back(Clock::now() - start);
            } else {
                two.push_back(partner.shade_together(scene));
            }
        }
        one_leads = !one_leads;
    }
    // Wall clock per call: on two threads, two calls share each span of time.
    st.counters["one_thread_ns"] = median_ns(one) / phase_calls;
    st.counters["two_threads_ns"] = median_ns(two) / (2 * phase_calls);
}

void library(benchmark::State& st) {
    one_and_two_threads(st, modules().shade);
}

// The same with the baseline: what the machine allows, whatever the library does.
void baseline(benchmark::State& st) {
    bind_baseline(modules().ops);
    one_and_two_threads(st, baseline_shade);
}

} // namespace

BENCHMARK(library)->Name("threads/library");
BENCHMARK(baseline)->Name("threads/baseline");
