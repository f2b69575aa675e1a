// Several threads shade at once, each nesting the shader several surfaces deep
// inside its own see-through rays, while the host keeps handing the library one
// of two equivalent modules. Bounded in calls and in time.
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
constexpr int depth = 4; // surfaces one behind the other, all carrying the shader
constexpr auto time_limit = std::chrono::seconds(60);

struct Surface;

// What the host module's reflection hook needs; one per module, so that each
// counts the calls it served.
struct ModuleTally {
    ShaderFn shade = nullptr;
    std::atomic<long> nested_calls{0};
    std::atomic<long> wrong{0};
};

// One level of one thread's chain. The host keeps the address of the surface
// behind in its private bytes of the state, as a host keeps its own bookkeeping.
struct Surface {
    RenderState state{};
    XrayParams* params = nullptr;
    Color expected{};
};

void set_behind(RenderState& state, Surface* behind) {
    std::memcpy(state.host_private0, &behind, sizeof behind);
}

Surface* behind_of(const RenderState& state) {
    Surface* behind;
    std::memcpy(&behind, state.host_private0, sizeof behind);
    return behind;
}

bool same(const Color& a, const Color& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

// The see-through ray reaches the next surface and shades it, nested.
int32_t shade_behind(Color* result, RenderState* state, Vector3*, void* user) {
    auto& scene = *static_cast<ModuleTally*>(user);
    Surface* behind = behind_of(*state);
    if (!behind)
        return 0; // the deepest surface sees the environment
    const int32_t found = scene.shade(result, &behind->state, behind->params);
    scene.nested_calls.fetch_add(1, std::memory_order_relaxed);
    if (found != 1 || !same(*result, behind->expected))
        scene.wrong.fetch_add(1, std::memory_order_relaxed);
    state->child = &behind->state;
    return found;
}

const Color environment = {0, 0, 1, 1};
const Tag listed_light[] = {7};

// Both modules answer alike: one light with two samples, a list the inclusive
// operation replaces, the environment, and a connected colour.
void script(FakeHost& fake, ModuleTally& scene, XrayParams* connected, Color* value) {
    fake.record = 0;
    fake.reflection_hook = shade_behind;
    fake.hook_user = &scene;
    fake.environment = {1, 1, environment, nullptr};
    fake.lights[0] = {7, 2, {{1, 1, 1, 1}, {1, 1, 1, 1}}, {0.5f, 0.5f}};
    fake.n_lights = 1;
    fake.inclusive = {1, 1, const_cast<Tag*>(listed_light)};
    fake.connections[fake.n_connections++] = {&connected->color, value};
}

} // namespace

TEST_F(ShaderTest, ConcurrentNestedShadingWhileTheModuleKeepsChanging) {
    // Each level differs: its colour (level 1's connected, evaluated by the host),
    // and how it finds its light (inclusive list, none, as given, exclusive).
    ParamBlock blocks[depth];
    const Color colors[depth] = {{1, 0, 0, 1}, {0, 0, 0, 0}, {0, 0.5f, 0, 0.5f}, {1, 1, 0, 1}};
    Color evaluated = {0, 1, 0, 0.5f};
    const int32_t modes[depth] = {1, 0, 0, 2};
    const float weights[depth] = {1, 0, 1, 1};
    for (int k = 0; k < depth; ++k) {
        XrayParams& p = blocks[k].params;
        p.color = colors[k];
        p.power = 1;
        p.specular = {0.5f, 0.5f, 0.5f, 1};
        p.specular_weight = weights[k];
        p.mode = modes[k];
        p.n_light = modes[k] == 1 ? 0 : 1; // the inclusive list brings its own light
        p.light[0] = 7;
    }
    link();
    blocks[1].connect(&blocks[1].params.color);

    // At facing 0.5 and power 1 both weights are 0.5; each sample adds
    // 0.5 * 1 * 0.5 * 1, so a lit level's highlight is 0.25 per channel.
    Color expected[depth + 1];
    expected[depth] = environment;
    for (int k = depth - 1; k >= 0; --k) {
        const Color c = k == 1 ? evaluated : colors[k];
        const float h = weights[k] > 0 ? 0.25f : 0.0f;
        const Color& behind = expected[k + 1];
        expected[k] = {(c.r + h) * 0.5f + 0.5f * behind.r, (c.g + h) * 0.5f + 0.5f * behind.g,
                       (c.b + h) * 0.5f + 0.5f * behind.b, c.a * 0.5f + 0.5f * behind.a};
    }

    HostModule twin("fake_host_twin");
    ModuleTally scenes[2];
    for (ModuleTally& scene : scenes)
        scene.shade = library.shade;
    script(fake, scenes[0], &blocks[1].params, &evaluated);
    script(*twin.fake, scenes[1], &blocks[1].params, &evaluated);

    std::vector<std::vector<Surface>> chains(shading_threads, std::vector<Surface>(depth));
    for (auto& chain : chains) {
        for (int k = 0; k < depth; ++k) {
            Surface& s = chain[k];
            s.state.shader = &record;
            s.state.facing = 0.5f;
            s.state.direction = {0, 0, -1};
            s.params = &blocks[k].params;
            s.expected = expected[k];
            set_behind(s.state, k + 1 < depth ? &chain[k + 1] : nullptr);
        }
    }

    const auto deadline = std::chrono::steady_clock::now() + time_limit;
    std::atomic<bool> go{false};
    std::atomic<int> running{shading_threads};
    std::atomic<long> outer_calls{0};
    std::atomic<long> wrong{0};
    long changes = 0;

    platform::StderrCapture capture;
    std::vector<std::thread> pool;
    for (auto& chain : chains) {
        pool.emplace_back([&] {
            while (!go.load())
                std::this_thread::yield();
            for (int i = 0; i < outer_calls_per_thread; ++i) {
                if ((i & 63) == 0 && std::chrono::steady_clock::now() > deadline)
                    break;
                Surface& front = chain[0];
                Color result;
                if (library.shade(&result, &front.state, front.params) != 1 ||
                    !same(result, front.expected))
                    wrong.fetch_add(1, std::memory_order_relaxed);
                outer_calls.fetch_add(1, std::memory_order_relaxed);
            }
            running.fetch_sub(1);
        });
    }
    pool.emplace_back([&] {
        go = true;
        while (running.load() > 0) {
            library.set_module_handle(changes % 2 ? host.module : twin.module);
            ++changes;
        }
    });
    for (auto& thread : pool)
        thread.join();
    const std::string diagnostics = capture.text();

    const long nested = scenes[0].nested_calls + scenes[1].nested_calls;
    std::printf("stress: %ld outer and %ld nested shader calls on %d threads, %ld module changes; "
                "nested calls served by fake_host %ld, by fake_host_twin %ld\n",
                outer_calls.load(), nested, shading_threads, changes, scenes[0].nested_calls.load(),
                scenes[1].nested_calls.load());
    EXPECT_EQ(diagnostics, "");
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(scenes[0].wrong + scenes[1].wrong, 0);
    EXPECT_GT(outer_calls.load(), 0);
    EXPECT_EQ(nested, outer_calls.load() * (depth - 1)) << "every level shaded behind the first";
    EXPECT_GT(changes, 0);
}
