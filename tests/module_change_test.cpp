// The wait in miSetModuleHandle, made visible. A test build of the library
// lets a lookup linger between its check of the module and its store into the
// table. Shading threads call the shader in a loop. A controller changes the
// module, which empties the table; as soon as a thread answers under the new
// module, while its call is still looking operations up there, it changes
// again; once the calls that this change overlapped are over, it shades with
// each block itself, and starts over. Every host operation tells which module
// answered it: one reached by a call that started after a change returned,
// before the next change began, must be the new module's. A lookup of the old
// module that stores after the change has cleared its slot, because the change
// did not wait for it, breaks that.
#include "tests/support/shader_fixture.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

constexpr long min_changes = 200;
// Each round costs what a change takes to clear one slot, and the slots the
// shader uses lie below 256: a lookup that a change did not wait for stores
// after the change has cleared its slot.
constexpr unsigned window_rounds = 256;

// Lookups linger `rounds` rounds, and then yield or not.
using test_window_fn = void (*)(unsigned rounds, int yields);

// One thread per core beside the controller: the race needs both running.
int shading_threads() {
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()) - 1);
}

// How long the run lasts at least; `make check` runs it longer.
std::chrono::duration<double> run_time() {
    const char* seconds = std::getenv("QORV_MODULE_CHANGE_SECONDS");
    return std::chrono::duration<double>(seconds ? std::atof(seconds) : 2.0);
}

// Spins while `pending()` holds: the threads it waits for, when they run,
// answer within microseconds. Yields after a while, as they may not be running.
template <typename Pending> void wait_while(Pending pending) {
    for (long spins = 0; pending(); ++spins)
        if (spins > 10000)
            std::this_thread::yield();
}

// Change n hands over module n % 2; change 0 is made before the threads start.
struct Changes {
    std::atomic<long> begun{0};
    std::atomic<long> done{0};
    std::atomic<long> answered_after{0}; // the last change done when an operation was answered
    std::atomic<long> last_stale{-1};    // the last change after which the old module answered
};

// A thread's render state, and what its operations were answered by.
struct Caller {
    RenderState state{};
    Changes* changes = nullptr;
    long in_force = 0; // the last change done when the current call started
    long checked = 0;  // operations reached before any later change began
    long stale = 0;    // of them, answered by the module no longer in force
    long stale_changes = 0;
    std::atomic<long> calls{0};
};

// `user` is the answering module's index.
void answered(RenderState* state, void* user) {
    Caller& caller = *reinterpret_cast<Caller*>(state);
    Changes& changes = *caller.changes;
    const long done = changes.done.load();
    if (changes.answered_after.load(std::memory_order_relaxed) != done)
        changes.answered_after.store(done);
    if (changes.begun.load() != caller.in_force)
        return; // a change overlaps: either module may answer
    ++caller.checked;
    if (*static_cast<const int*>(user) != caller.in_force % 2) {
        ++caller.stale;
        caller.stale_changes += changes.last_stale.exchange(caller.in_force) != caller.in_force;
    }
}

} // namespace

static_assert(offsetof(Caller, state) == 0, "a state is its caller");

TEST(ModuleChange, NoCallAfterAChangeReachesTheOldModule) {
    LoadedLibrary library("qorv_xraytexture_test_window");
    auto widen =
        reinterpret_cast<test_window_fn>(platform::module_symbol(library.module, TEST_WINDOW_HOOK));
    ASSERT_NE(widen, nullptr) << "the test build exports " TEST_WINDOW_HOOK;

    // Between them the two blocks reach all seven operations: a connected
    // colour, a see-through ray that finds nothing, the environment, one of
    // the light lists, and a light of one sample with its highlight.
    ShaderRecord record{};
    record.link_offset = ParamBlock::link_offset;
    const int32_t modes[2] = {QORV_XRAYTEXTURE_LIGHTS_INCLUSIVE, QORV_XRAYTEXTURE_LIGHTS_EXCLUSIVE};
    ParamBlock blocks[2];
    for (int b = 0; b < 2; ++b) {
        XrayParams& p = blocks[b].params;
        p.color = {1, 0, 0, 1};
        p.power = 1;
        p.specular = {1, 1, 1, 1};
        p.specular_weight = 1;
        p.mode = modes[b];
        p.n_light = 1;
        p.light[0] = 7;
        blocks[b].connect(&p.color);
    }
    Color evaluated = {0, 1, 0, 1};

    HostModule hosts[2] = {HostModule("fake_host"), HostModule("fake_host_twin")};
    int indices[2] = {0, 1};
    for (int m = 0; m < 2; ++m) {
        FakeHost& fake = *hosts[m].fake;
        fake.record = 0;
        fake.answer_hook = answered;
        fake.answer_user = &indices[m];
        fake.environment = {1, 1, {0, 0, 1, 1}, nullptr};
        fake.lights[0] = {7, 1, {{1, 1, 1, 1}}, {0.5f}};
        fake.n_lights = 1;
        for (ParamBlock& block : blocks)
            fake.connections[fake.n_connections++] = {&block.params.color, &evaluated};
    }

    Changes changes;
    library.set_module_handle(hosts[0].module);
    const int threads = shading_threads();
    std::vector<Caller> callers(threads + 1); // the controller's last
    for (Caller& caller : callers) {
        caller.state.shader = &record;
        caller.state.facing = 0.5f;
        caller.state.direction = {0, 0, -1};
        caller.changes = &changes;
    }
    auto shade = [&](Caller& caller, ParamBlock& block) {
        Color result;
        library.shade(&result, &caller.state, &block.params);
        caller.calls.fetch_add(1);
    };

    std::atomic<bool> stop{false};
    platform::StderrCapture capture;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            for (unsigned i = 0; !stop.load(); ++i) {
                callers[t].in_force = changes.done.load();
                shade(callers[t], blocks[i % 2]);
            }
        });
    }

    Caller& controller = callers[threads];
    long n = 0;
    auto change = [&] {
        changes.begun.store(++n);
        library.set_module_handle(hosts[n % 2].module);
        changes.done.store(n);
    };
    std::vector<long> overlapped(threads);
    const auto start = std::chrono::steady_clock::now();
    const auto until = start + run_time();
    for (long round = 0; n < min_changes || std::chrono::steady_clock::now() < until; ++round) {
        // In every other round the lookups give their cores away as they
        // linger, which lets a change in even when the machine is busy; in the
        // others both threads keep running, as a store that a load passes needs.
        widen(window_rounds, round % 2);
        change();
        wait_while([&] { return changes.answered_after.load() != n; });
        change();
        for (int t = 0; t < threads; ++t)
            overlapped[t] = callers[t].calls.load();
        for (int t = 0; t < threads; ++t)
            wait_while([&] { return callers[t].calls.load() == overlapped[t]; });
        controller.in_force = n;
        for (ParamBlock& block : blocks)
            shade(controller, block);
    }
    stop = true;
    for (std::thread& thread : pool)
        thread.join();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    const std::string diagnostics = capture.text();

    long calls = 0, checked = 0, stale = 0, stale_changes = 0;
    for (const Caller& caller : callers) {
        calls += caller.calls.load();
        checked += caller.checked;
        stale += caller.stale;
        stale_changes += caller.stale_changes;
    }
    std::printf("module change: %ld changes and %ld calls on %d threads in %.1f s; of %ld "
                "operations reached with no change begun since their call started, %ld were "
                "answered by the old module, after %ld changes\n",
                n, calls, threads + 1, took.count(), checked, stale, stale_changes);
    EXPECT_EQ(diagnostics, "");
    EXPECT_GT(checked, 0);
    EXPECT_EQ(stale, 0) << "calls that started after a change reached the old module";
}
