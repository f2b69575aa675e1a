#include "tests/support/shader_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void* require(void* address, const std::string& what) {
    if (!address) {
        std::fprintf(stderr, "test setup: cannot load %s\n", what.c_str());
        std::abort();
    }
    return address;
}

} // namespace

LoadedLibrary::LoadedLibrary(const std::string& name) {
    const std::string path = platform::module_path(name);
    module = require(platform::open_module(path), path);
    shade = reinterpret_cast<qorv_xraytexture_fn>(
        require(platform::module_symbol(module, "qorv_xraytexture"), "qorv_xraytexture"));
    version = reinterpret_cast<qorv_xraytexture_version_fn>(require(
        platform::module_symbol(module, "qorv_xraytexture_version"), "qorv_xraytexture_version"));
    set_module_handle = reinterpret_cast<miSetModuleHandle_fn>(
        require(platform::module_symbol(module, "miSetModuleHandle"), "miSetModuleHandle"));
}

LoadedLibrary::~LoadedLibrary() {
    platform::close_module(module);
}

HostModule::HostModule(const std::string& name, bool global) {
    const std::string path = platform::module_path(name);
    module = require(platform::open_module(path, global), path);
    auto state = reinterpret_cast<fake_host_state_fn>(
        require(platform::module_symbol(module, "fake_host_state"), "fake_host_state"));
    fake = state();
    reset(*fake);
}

HostModule::~HostModule() {
    platform::close_module(module);
}

void ParamBlock::connect(const void* param, uint32_t tag) {
    const auto offset =
        static_cast<const unsigned char*>(param) - reinterpret_cast<const unsigned char*>(&params);
    std::memcpy(reinterpret_cast<unsigned char*>(&params) + offset + link_offset, &tag, sizeof tag);
}

ShaderTest::ShaderTest() {
    library.set_module_handle(host.module);
    state.shader = &record;
    state.facing = 1.0f;
    state.direction = {0.0f, 0.0f, -1.0f};
    block.params.color = {1.0f, 0.0f, 0.0f, 1.0f};
    block.params.power = 1.0f;
    block.params.specular = {1.0f, 1.0f, 1.0f, 1.0f};
}

void ShaderTest::connect(const void* param, void* value) {
    link();
    block.connect(param);
    fake.connections[fake.n_connections++] = {param, value};
}

std::string failure_pattern(const char* name, const void* handle) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08x",
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(handle)));
    const int error = platform::missing_name_error();
    const std::string code = error < 0 ? "-?[0-9]+" : std::to_string(error);
    return std::string("dlsym failed on \"") + name + "\" \\(handle: " + hex + " error: " + code +
           "\\)\n";
}

std::vector<Tag> sampled_lights(const FakeHost& fake) {
    std::vector<Tag> tags;
    for (int32_t i = 0; i < fake.recorded(); ++i)
        if (fake.calls[i].op == HostOp::sample_light && fake.calls[i].count == 0)
            tags.push_back(fake.calls[i].light);
    return tags;
}
