// Loads the x-ray shader library as any host would and binds it to this host.
#pragma once

#include "render/thread_context.h"

#include <string>

namespace xr {

// The only version of the shader this host knows how to drive.
constexpr int32_t supported_shader_version = 2;

class ShaderLibrary {
  public:
    // Throws std::runtime_error, saying why, when the library cannot be used.
    explicit ShaderLibrary(const std::string& path);
    ~ShaderLibrary();
    ShaderLibrary(const ShaderLibrary&) = delete;
    ShaderLibrary& operator=(const ShaderLibrary&) = delete;

    ShaderFn shader() const { return shader_; }

  private:
    void* module_ = nullptr;
    ShaderFn shader_ = nullptr;
};

// The library built beside this program, or else the one installed with it.
std::string default_shader_path();

} // namespace xr
