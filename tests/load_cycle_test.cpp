// A host that reloads its shaders: the library is loaded, used and unloaded many
// times in one process. Under valgrind (the `valgrind` test label) this also
// shows that nothing leaks.
#include "tests/support/shader_fixture.h"

TEST(LoadCycle, LoadsShadesAndUnloadsAThousandTimesWithoutADiagnostic) {
    constexpr int cycles = 1000;
    HostModule host("fake_host");
    host.fake->record = 0;
    host.fake->reflection = {1, 1, {0, 0, 1, 1}, nullptr};
    ShaderRecord record{};
    RenderState state{};
    state.shader = &record;
    state.facing = 1;
    ParamBlock block;
    block.params.power = 1;
    const std::string path = platform::module_path("qorv_xraytexture");

    int wrong = 0;
    int still_loaded = 0;
    platform::StderrCapture capture;
    for (int i = 0; i < cycles; ++i) {
        {
            LoadedLibrary library;
            if (i == 0) {
                ASSERT_TRUE(platform::is_loaded(path)) << "the unload check sees a loaded library";
            }
            library.set_module_handle(host.module);
            Color result = {};
            if (library.version() != 2 || library.shade(&result, &state, &block.params) != 1 ||
                result.b != 1.0f || result.a != 1.0f)
                ++wrong;
        }
        // A library the platform cannot unload would keep its table across loads.
        still_loaded += platform::is_loaded(path);
    }
    EXPECT_EQ(capture.text(), "");
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(still_loaded, 0);
}
