// Loads the x-ray shader library as any host would and binds it to this host.
#pragma once

#include "render/thread_context.h"

#include <string>

namespace xr {

class ShaderLibrary {
  public:
    // Throws std::runtime_error, saying why, when the library cannot be used.
    explicit ShaderLibrary(const std::string& path);
    ~ShaderLibrary();
    ShaderLibrary(const ShaderLibrary&) = delete;
    ShaderLibrary& operator=(const ShaderLibrary&) = delete;

    qorv_xraytexture_fn shader() const { return shader_; }

  private:
    void* module_ = nullptr;
    qorv_xraytexture_fn shader_ = nullptr;
};

// This program's own file; empty when it cannot be told.
std::string program_path();

// The library built beside this program, or else the one installed with it.
std::string default_shader_path();

} // namespace xr
