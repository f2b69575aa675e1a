// What every shader test needs: the library loaded afresh, a fake host module,
// and a render state and parameter block laid out as a host lays them out.
#pragma once

#include "tests/fake_host/fake_host.h"
#include "tests/support/platform.h"
#include <qorv_xraytexture.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// A build of the shader library (`name`) with its handle and entry table as a
// fresh load leaves them.
struct LoadedLibrary {
    explicit LoadedLibrary(const std::string& name = "qorv_xraytexture");
    ~LoadedLibrary();
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    void* module = nullptr;
    qorv_xraytexture_fn shade = nullptr;
    qorv_xraytexture_version_fn version = nullptr;
    miSetModuleHandle_fn set_module_handle = nullptr;
};

// One build of the fake host, its script reset.
struct HostModule {
    explicit HostModule(const std::string& name, bool global = false);
    ~HostModule();
    HostModule(const HostModule&) = delete;
    HostModule& operator=(const HostModule&) = delete;

    void* module = nullptr;
    FakeHost* fake = nullptr;
};

// A parameter block followed by room for more lights; the connection tag of each
// parameter lies `link_offset` bytes beyond it.
struct alignas(8) ParamBlock {
    static constexpr int32_t link_offset = 128;

    XrayParams params{};
    Tag more_lights[15]{};
    unsigned char connection_tags[128]{};

    Tag* lights() { return params.light; }
    void connect(const void* param, uint32_t tag = 1);
};

static_assert(offsetof(ParamBlock, more_lights) == offsetof(ParamBlock, params.light) + 4,
              "the light array runs on into more_lights");
static_assert(offsetof(ParamBlock, connection_tags) == ParamBlock::link_offset,
              "connection tags mirror the block");

// The shader library bound to the default fake host; a state that faces the
// viewer squarely and a block with no highlight.
class ShaderTest : public ::testing::Test {
  protected:
    ShaderTest();

    int32_t shade(Color& result) { return library.shade(&result, &state, &block.params); }
    // Makes the host keep connection tags beside the block.
    void link() { record.link_offset = ParamBlock::link_offset; }
    // Connects `param` so that mi_phen_eval answers `value`.
    void connect(const void* param, void* value);

    LoadedLibrary library;
    HostModule host{"fake_host"};
    FakeHost& fake = *host.fake;
    ShaderRecord record{};
    RenderState state{};
    ParamBlock block;
};

// A regular expression for the failure line of `name` looked up in `handle`.
std::string failure_pattern(const char* name, const void* handle);

// The tags of the lights sampled, in order (one entry per light, not per sample).
std::vector<Tag> sampled_lights(const FakeHost& fake);
