// How the library finds the host's operations: the module handle, the cached
// table, the diagnostics and what a wrapper does when a name is missing.
#include "tests/support/shader_fixture.h"

#include <atomic>
#include <cstring>
#include <regex>
#include <thread>
#include <vector>

namespace {

const char* null_line = "DYNLOAD: dl_handle null\n";
const Color untouched_result = {7, 7, 7, 7};

bool matches(const std::string& text, const std::string& pattern) {
    return std::regex_match(text, std::regex(pattern));
}

} // namespace

TEST(FreshLibrary, AnswersVersionAndReportsTheNullHandleBeforeEachFailedLookup) {
    LoadedLibrary library;
    EXPECT_EQ(library.version(), 2);

    ShaderRecord record{};
    RenderState state{};
    state.shader = &record;
    ParamBlock block;
    block.params.color = {0.5f, 0.5f, 0.5f, 1.0f};
    Color result = {9, 9, 9, 9};

    platform::StderrCapture capture;
    EXPECT_EQ(library.shade(&result, &state, &block.params), 1);
    // Neither trace can be called, so the see-through colour stays (0, 0, 0, 0);
    // facing 0 at power 0 sees through completely. On Windows a null handle
    // searches the program's own exports, which lack the operations.
    const std::string expected = std::string(null_line) +
                                 failure_pattern("mi_trace_reflection", nullptr) + null_line +
                                 failure_pattern("mi_trace_environment", nullptr);
    EXPECT_TRUE(matches(capture.text(), expected)) << capture.text();
    EXPECT_EQ(result.r, 0.0f);
    EXPECT_EQ(result.a, 0.0f);
}

namespace {

constexpr HostOp every_operation[] = {HostOp::trace_reflection,    HostOp::trace_environment,
                                      HostOp::sample_light,        HostOp::inclusive_lightlist,
                                      HostOp::exclusive_lightlist, HostOp::phen_eval,
                                      HostOp::phong_specular};

// Scripts a module so that two calls, one per light list, reach every operation:
// the reflection finds nothing, the colour is connected and light 7 is sampled.
void reach_every_operation(FakeHost& fake, const void* color, Color* value) {
    fake.environment = {1, 1, {0, 0, 1, 1}, nullptr};
    fake.lights[0] = {7, 1, {{1, 1, 1, 1}}, {1.0f}};
    fake.n_lights = 1;
    fake.connections[fake.n_connections++] = {color, value};
}

} // namespace

TEST_F(ShaderTest, EveryOperationIsCachedUntilTheHandleChangesThenLookedUpAgain) {
    Color green = {0, 1, 0, 1};
    link();
    block.connect(&block.params.color);
    block.lights()[0] = 7;
    block.params.n_light = 1;
    block.params.specular_weight = 1;
    HostModule twin("fake_host_twin");
    reach_every_operation(fake, &block.params.color, &green);
    reach_every_operation(*twin.fake, &block.params.color, &green);
    auto shade_both_lists = [&] {
        Color result;
        for (int32_t mode : {1, 2}) {
            block.params.mode = mode;
            ASSERT_EQ(shade(result), 1);
        }
    };

    platform::StderrCapture capture;
    shade_both_lists();
    shade_both_lists();
    for (HostOp op : every_operation)
        ASSERT_GT(fake.calls_of(op), 0) << static_cast<int>(op);
    const int32_t before = fake.recorded();

    library.set_module_handle(twin.module);
    shade_both_lists();
    EXPECT_EQ(fake.recorded(), before) << "the old module is not called";
    for (HostOp op : every_operation)
        EXPECT_GT(twin.fake->calls_of(op), 0) << static_cast<int>(op);

    library.set_module_handle(host.module);
    shade_both_lists();
    EXPECT_EQ(fake.recorded(), before * 3 / 2);
    EXPECT_EQ(capture.text(), "");
}

TEST_F(ShaderTest, NullHandleLookupSearchesTheGlobalScopeWhereThePlatformHasOne) {
    if (!platform::has_global_scope())
        GTEST_SKIP() << "this platform has no global scope of names";
    HostModule global("fake_host_twin", true);
    library.set_module_handle(nullptr);

    Color result;
    platform::StderrCapture capture;
    ASSERT_EQ(shade(result), 1);
    // Found without a handle: a null-handle line for each of the two traces and no
    // failure. The second call finds both cached and prints nothing.
    ASSERT_EQ(shade(result), 1);
    EXPECT_EQ(capture.text(), std::string(null_line) + null_line);
    EXPECT_EQ(global.fake->calls_of(HostOp::trace_environment), 2);
}

// Every call looks the missing operation up again (and the environment once),
// and leaves the host thread's error state as it was.
TEST_F(ShaderTest, MissingOperationIsLookedUpAndReportedOnEveryCall) {
    HostModule partial("fake_host_without_mi_trace_reflection");
    partial.fake->environment = {1, 1, {0, 0, 1, 1}, nullptr};
    library.set_module_handle(partial.module);

    Color result;
    platform::StderrCapture capture;
    for (int call = 0; call < 2; ++call) {
        platform::set_thread_error(call + 1000);
        ASSERT_EQ(shade(result), 1);
        EXPECT_EQ(platform::thread_error(), call + 1000);
        EXPECT_FALSE(platform::lookup_error_pending()) << "the host's next dlerror() is its own";
    }
    const std::string line = failure_pattern("mi_trace_reflection", partial.module);
    EXPECT_TRUE(matches(capture.text(), line + line)) << capture.text();
    EXPECT_EQ(result.b, 1.0f) << "the environment is asked instead";

    // A line that cannot be written leaves it as it was too. (Windows' C
    // runtime may keep the line and write it once the stream takes it again.)
    platform::StderrRefused refused;
    platform::set_thread_error(1002);
    ASSERT_EQ(shade(result), 1);
    EXPECT_EQ(platform::thread_error(), 1002);
}

TEST_F(ShaderTest, OperationsNeverCalledAreNeverLookedUp) {
    // Nothing is connected and no light is sampled, so a host lacking those
    // operations shades without a word.
    for (const char* name :
         {"fake_host_without_mi_phen_eval", "fake_host_without_mi_sample_light",
          "fake_host_without_mi_phong_specular", "fake_host_without_mi_inclusive_lightlist"}) {
        HostModule partial(name);
        library.set_module_handle(partial.module);
        Color result;
        platform::StderrCapture capture;
        EXPECT_EQ(shade(result), 1);
        EXPECT_EQ(capture.text(), "") << name;
    }
}

struct MissingCase {
    const char* operation;
    int32_t mode;
    Color expected;
};

void PrintTo(const MissingCase& c, std::ostream* os) {
    *os << c.operation;
}

class MissingOperation : public ShaderTest, public ::testing::WithParamInterface<MissingCase> {};

// Every operation in use: a connected colour, an inclusive or exclusive list and a
// lit highlight. Weights are 0.5 each, so each term is easy to tell apart.
TEST_P(MissingOperation, WrapperReturnsTheNeutralResultAndTheShaderCarriesOn) {
    const MissingCase& c = GetParam();
    HostModule partial(std::string("fake_host_without_") + c.operation);
    FakeHost& host = *partial.fake;
    library.set_module_handle(partial.module);

    Color green = {0, 1, 0, 1};
    link();
    block.connect(&block.params.color);
    host.connections[host.n_connections++] = {&block.params.color, &green};
    host.reflection = {0, 0, {}, nullptr};
    host.environment = {1, 1, {0, 0, 1, 1}, nullptr};
    Tag listed[] = {7};
    host.inclusive = {1, 1, listed};
    host.exclusive = {1, 1, listed};
    host.lights[0] = {7, 1, {{0.5f, 0.5f, 0.5f, 1}}, {1.0f}};
    host.n_lights = 1;
    block.params.mode = c.mode;
    block.params.n_light = 0; // only a replaced list has lights
    block.params.specular_weight = 1.0f;
    state.facing = 0.5f;

    Color result;
    platform::StderrCapture capture;
    ASSERT_EQ(shade(result), 1);
    EXPECT_TRUE(matches(capture.text(), failure_pattern(c.operation, partial.module)))
        << capture.text();
    EXPECT_EQ(result.r, c.expected.r);
    EXPECT_EQ(result.g, c.expected.g);
    EXPECT_EQ(result.b, c.expected.b);
    EXPECT_EQ(result.a, c.expected.a);
}

// A call that gives no result leaves it untouched whichever operation is missing:
// the flag is connected and the see-through ray finds a flagged child.
TEST_P(MissingOperation, DeclinedCallLeavesTheResultUntouched) {
    const MissingCase& c = GetParam();
    HostModule partial(std::string("fake_host_without_") + c.operation);
    FakeHost& host = *partial.fake;
    library.set_module_handle(partial.module);

    int32_t skip = 1;
    RenderState flagged{};
    flagged.surface_flag = 1;
    link();
    block.connect(&block.params.skip_flagged);
    host.connections[host.n_connections++] = {&block.params.skip_flagged, &skip};
    block.params.skip_flagged = 1;
    block.params.mode = c.mode;
    host.reflection = {1, 1, {0, 0, 1, 1}, &flagged};
    host.environment = {1, 1, {0, 0, 1, 1}, &flagged};

    Color result = {7, 7, 7, 7};
    platform::StderrCapture capture; // keeps the expected failure line off the log
    EXPECT_EQ(shade(result), 0);
    EXPECT_EQ(std::memcmp(&result, &untouched_result, sizeof result), 0);
}

// With every operation present the result would be (0.25, 0.75, 0.75, 1).
INSTANTIATE_TEST_SUITE_P(
    EachOperation, MissingOperation,
    ::testing::Values(MissingCase{"mi_trace_reflection", 1, {0.25f, 0.75f, 0.75f, 1}},
                      MissingCase{"mi_trace_environment", 1, {0.25f, 0.75f, 0.25f, 0.5f}},
                      MissingCase{"mi_sample_light", 1, {0, 0.5f, 0.5f, 1}},
                      MissingCase{"mi_inclusive_lightlist", 1, {0, 0.5f, 0.5f, 1}},
                      MissingCase{"mi_exclusive_lightlist", 2, {0, 0.5f, 0.5f, 1}},
                      MissingCase{"mi_phen_eval", 1, {0.75f, 0.25f, 0.75f, 1}},
                      MissingCase{"mi_phong_specular", 1, {0, 0.5f, 0.5f, 1}}),
    [](const ::testing::TestParamInfo<MissingCase>& info) {
        return std::string(info.param.operation);
    });

TEST_F(ShaderTest, FirstCallsRacingOnSeveralThreadsAllResolveSilently) {
    fake.record = 0;
    fake.reflection = {1, 1, {0, 0, 1, 1}, nullptr};
    fake.lights[0] = {3, 2, {{1, 1, 1, 1}, {1, 1, 1, 1}}, {1.0f, 1.0f}};
    fake.n_lights = 1;
    block.lights()[0] = 3;
    block.params.n_light = 1;
    block.params.specular_weight = 0.5f;
    state.facing = 0.0f;

    constexpr int threads = 4;
    constexpr int calls = 500;
    std::atomic<bool> go{false};
    std::atomic<int> wrong{0};
    platform::StderrCapture capture;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&] {
            RenderState own = state; // each thread shades with its own state
            while (!go.load())
                std::this_thread::yield();
            for (int i = 0; i < calls; ++i) {
                Color result;
                if (library.shade(&result, &own, &block.params) != 1 || result.r != 1.5f ||
                    result.g != 0.5f || result.a != 1.0f)
                    ++wrong;
            }
        });
    }
    go = true;
    for (auto& thread : pool)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(capture.text(), "");
}
