// Several threads shade at once, each nesting the shader several surfaces deep
// inside its own see-through rays, while another thread keeps handing the
// library one of two host modules that answer differently. A call that starts
// after miSetModuleHandle returns, and ends before the next change begins,
// must be answered by that module alone. Bounded in calls and in time.
#include "tests/support/shader_fixture.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr int shading_threads = 4;
constexpr int outer_calls_per_thread = 50000;
constexpr long min_rounds = 200; // threads shade on until the changer has made as many
constexpr int depth = 4;         // surfaces one behind the other, all carrying the shader
constexpr auto time_limit = std::chrono::seconds(60);

// What one module answers, so that any operation reached in the wrong module
// changes the result: the environment, the connected colour's value, and the
// one light it knows and puts in its inclusive and exclusive lists.
struct Answers {
    Color environment;
    Color evaluated;
    Tag light;
    Color light_color; // of each of the light's two samples
    float phong;
};

const Answers answers[2] = {
    {{0, 0, 1, 1}, {0, 1, 0, 0.5f}, 7, {1, 1, 1, 1}, 0.5f},
    {{1, 0, 1, 1}, {0, 0.5f, 1, 1}, 9, {0.5f, 1, 0.25f, 1}, 0.25f},
};

// Each level differs: its colour (level 1's connected, evaluated by the host),
// its highlight weight and how it finds its light (the inclusive list, the
// block's light 7, which only module 0 knows, or the exclusive list).
const Color colors[depth] = {{1, 0, 0, 1}, {0, 0, 0, 0}, {0, 0.5f, 0, 0.5f}, {1, 1, 0, 1}};
const int32_t modes[depth] = {1, 0, 0, 2};
const float weights[depth] = {1, 0, 1, 1};
const Tag given_light = 7;
const Color specular = {0.5f, 0.5f, 0.5f, 1};

// What level k gives under one module, in the library's own arithmetic: at
// facing 0.5 and power 1 both weights are 0.5.
Color expected_at(int k, const Answers& a, const Color& behind) {
    const Color c = k == 1 ? a.evaluated : colors[k];
    const Tag light = modes[k] == 0 ? given_light : a.light;
    float h[3] = {0, 0, 0};
    if (weights[k] > 0 && light == a.light) {
        const float sw = a.phong * weights[k];
        const float lc[3] = {a.light_color.r, a.light_color.g, a.light_color.b};
        const float sc[3] = {specular.r, specular.g, specular.b};
        for (int i = 0; i < 3; ++i) {
            float sum = 0;
            sum += sw * sc[i] * lc[i];
            sum += sw * sc[i] * lc[i];
            h[i] = sum / 2.0f;
        }
    }
    return {(c.r + h[0]) * 0.5f + 0.5f * behind.r, (c.g + h[1]) * 0.5f + 0.5f * behind.g,
            (c.b + h[2]) * 0.5f + 0.5f * behind.b, c.a * 0.5f + 0.5f * behind.a};
}

bool same(const Color& a, const Color& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

// One level of one thread's chain. The host keeps the address of the surface
// behind in its private bytes of the state, as a host keeps its own bookkeeping.
struct Surface {
    RenderState state{};
    XrayParams* params = nullptr;
    Color result{};        // what its last call gave
    int32_t status = 0;    // and answered
    int reflected_by = -1; // the module whose reflection shaded the surface behind
};

void set_behind(RenderState& state, Surface* behind) {
    std::memcpy(state.host_private0, &behind, sizeof behind);
}

Surface* behind_of(const RenderState& state) {
    Surface* behind;
    std::memcpy(&behind, state.host_private0, sizeof behind);
    return behind;
}

// What a module's reflection hook needs: one per module.
struct Module {
    int index = 0;
    qorv_xraytexture_fn shade = nullptr;
    std::atomic<long> reflections{0}; // begun
    std::atomic<long> nested_calls{0};
};

// The see-through ray reaches the next surface and shades it, nested.
int32_t shade_behind(Color* result, RenderState* state, Vector3*, void* user) {
    auto& module = *static_cast<Module*>(user);
    module.reflections.fetch_add(1);
    Surface* behind = behind_of(*state);
    if (!behind)
        return 0; // the deepest surface sees the environment
    const Surface* self = reinterpret_cast<const Surface*>(state);
    const_cast<Surface*>(self)->reflected_by = module.index;
    behind->status = module.shade(result, &behind->state, behind->params);
    behind->result = *result;
    module.nested_calls.fetch_add(1, std::memory_order_relaxed);
    state->child = &behind->state;
    return behind->status;
}

void script(FakeHost& fake, Module& module, const Answers& a, XrayParams* connected, Color* value) {
    fake.record = 0;
    fake.reflection_hook = shade_behind;
    fake.hook_user = &module;
    fake.environment = {1, 1, a.environment, nullptr};
    fake.lights[0] = {a.light, 2, {a.light_color, a.light_color}, {a.phong, a.phong}};
    fake.n_lights = 1;
    fake.inclusive = {1, 1, const_cast<Tag*>(&a.light)};
    fake.exclusive = {1, 1, const_cast<Tag*>(&a.light)};
    fake.connections[fake.n_connections++] = {&connected->color, value};
}

} // namespace

static_assert(offsetof(Surface, state) == 0, "a state is its surface");

TEST_F(ShaderTest, ConcurrentNestedShadingSeesOnlyTheModuleInForce) {
    ParamBlock blocks[depth];
    for (int k = 0; k < depth; ++k) {
        XrayParams& p = blocks[k].params;
        p.color = colors[k];
        p.power = 1;
        p.specular = specular;
        p.specular_weight = weights[k];
        p.mode = modes[k];
        p.n_light = 1;
        p.light[0] = given_light;
    }
    link();
    blocks[1].connect(&blocks[1].params.color);

    Color expected[2][depth];
    for (int m = 0; m < 2; ++m) {
        Color behind = answers[m].environment;
        for (int k = depth - 1; k >= 0; --k)
            behind = expected[m][k] = expected_at(k, answers[m], behind);
    }
    ASSERT_FALSE(same(expected[0][0], expected[1][0]));

    HostModule twin("fake_host_twin");
    void* const handles[2] = {host.module, twin.module};
    Module modules[2];
    Color evaluated[2] = {answers[0].evaluated, answers[1].evaluated};
    FakeHost* fakes[2] = {&fake, twin.fake};
    for (int m = 0; m < 2; ++m) {
        modules[m].index = m;
        modules[m].shade = library.shade;
        script(*fakes[m], modules[m], answers[m], &blocks[1].params, &evaluated[m]);
    }

    std::vector<std::vector<Surface>> chains(shading_threads, std::vector<Surface>(depth));
    for (auto& chain : chains) {
        for (int k = 0; k < depth; ++k) {
            Surface& s = chain[k];
            s.state.shader = &record;
            s.state.facing = 0.5f;
            s.state.direction = {0, 0, -1};
            s.params = &blocks[k].params;
            set_behind(s.state, k + 1 < depth ? &chain[k + 1] : nullptr);
        }
    }

    // Change n begins when `begun` reaches n and is done, miSetModuleHandle
    // having returned, when `done` does; after it module n % 2 is in force.
    std::atomic<long> begun{0};
    std::atomic<long> done{0};
    std::vector<std::atomic<long>> completed(shading_threads);
    std::vector<std::atomic<bool>> finished(shading_threads);
    const auto deadline = std::chrono::steady_clock::now() + time_limit;
    std::atomic<bool> go{false};
    std::atomic<int> running{shading_threads};
    std::atomic<long> outer_calls{0};
    std::atomic<long> checked_calls{0};
    std::atomic<long> wrong{0};
    std::atomic<long> failed{0};
    long changes = 0;

    platform::StderrCapture capture;
    std::vector<std::thread> pool;
    for (int t = 0; t < shading_threads; ++t) {
        pool.emplace_back([&, t] {
            std::vector<Surface>& chain = chains[t];
            while (!go.load())
                std::this_thread::yield();
            for (int i = 0; i < outer_calls_per_thread || done.load() < min_rounds; ++i) {
                if ((i & 63) == 0 && std::chrono::steady_clock::now() > deadline)
                    break;
                const long in_force = done.load();
                Surface& front = chain[0];
                front.status = library.shade(&front.result, &front.state, front.params);
                const bool undisturbed = begun.load() == in_force;
                outer_calls.fetch_add(1, std::memory_order_relaxed);
                completed[t].fetch_add(1);
                // Five busy threads share the machine's cores: let the changer in.
                std::this_thread::yield();
                bool ok = true;
                for (const Surface& s : chain)
                    ok = ok && s.status == 1;
                if (!ok)
                    failed.fetch_add(1, std::memory_order_relaxed);
                if (!undisturbed)
                    continue; // a change overlapped the call: either module may answer
                const int m = static_cast<int>(in_force % 2);
                for (int k = 0; k < depth; ++k)
                    ok = ok && same(chain[k].result, expected[m][k]) &&
                         (k + 1 == depth || chain[k].reflected_by == m);
                if (!ok)
                    wrong.fetch_add(1, std::memory_order_relaxed);
                checked_calls.fetch_add(1, std::memory_order_relaxed);
            }
            finished[t] = true;
            running.fetch_sub(1);
        });
    }
    // Each round ends with its module in force, mostly after a change away and
    // back. Then every thread makes two calls, at least one of them undisturbed.
    pool.emplace_back([&] {
        go = true;
        auto change = [&](int m) {
            library.set_module_handle(handles[m]);
            ++changes;
        };
        for (long round = 1; running.load() > 0; ++round) {
            const int m = static_cast<int>(round % 2);
            begun.fetch_add(1);
            change(m);
            if (round % 3 != 0) {
                // Away and back once the other module is being used, so that
                // lookups under it are still running when the change back comes.
                change(1 - m);
                const long used = modules[1 - m].reflections.load();
                while (modules[1 - m].reflections.load() == used && running.load() > 0)
                    std::this_thread::yield();
                change(m);
            }
            done.fetch_add(1);
            std::vector<long> before(shading_threads);
            for (int t = 0; t < shading_threads; ++t)
                before[t] = completed[t].load();
            for (int t = 0; t < shading_threads; ++t)
                while (completed[t].load() < before[t] + 2 && !finished[t].load())
                    std::this_thread::yield();
        }
    });
    for (auto& thread : pool)
        thread.join();
    const std::string diagnostics = capture.text();

    const long nested = modules[0].nested_calls + modules[1].nested_calls;
    std::printf("stress: %ld outer and %ld nested shader calls on %d threads, %ld module changes "
                "in %ld rounds; %ld outer calls undisturbed by a change and checked\n",
                outer_calls.load(), nested, shading_threads, changes, done.load(),
                checked_calls.load());
    EXPECT_EQ(diagnostics, "");
    EXPECT_EQ(failed.load(), 0);
    EXPECT_EQ(wrong.load(), 0) << "a call answered by a module no longer in force";
    // Each thread's second call of a round is undisturbed, save in the last round.
    EXPECT_GE(checked_calls.load(), (done.load() - 1) * shading_threads);
    EXPECT_EQ(nested, outer_calls.load() * (depth - 1)) << "every level shaded behind the first";
    EXPECT_GE(done.load(), min_rounds)
        << "rounds stall when a module once left is never used again";
}
