#include "render/shader_library.h"

#include "render/util/regular_file.h"

#include <dlfcn.h>
#include <stdexcept>
#include <unistd.h>

namespace xr {

namespace {

std::string last_error() {
    const char* error = dlerror();
    return error ? error : "unknown error";
}

void* require(void* module, const char* name, const std::string& path) {
    void* symbol = dlsym(module, name);
    if (!symbol)
        throw std::runtime_error(path + " is not an x-ray shader library: it lacks " + name);
    return symbol;
}

} // namespace

ShaderLibrary::ShaderLibrary(const std::string& path) {
    // dlopen searches the loader's path for a bare name; a file named here is
    // the one in the current folder.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    // dlopen would wait for ever on a FIFO, and read a device to its end.
    try {
        const RegularFile library(file);
    } catch (const std::runtime_error& e) {
        throw std::runtime_error("cannot load shader library: " + file + ": " + e.what());
    }
    module_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module_)
        throw std::runtime_error("cannot load shader library: " + last_error());
    try {
        auto version = reinterpret_cast<qorv_xraytexture_version_fn>(
            require(module_, "qorv_xraytexture_version", path));
        auto set_module_handle =
            reinterpret_cast<miSetModuleHandle_fn>(require(module_, "miSetModuleHandle", path));
        shader_ = reinterpret_cast<qorv_xraytexture_fn>(require(module_, "qorv_xraytexture", path));
        const int32_t v = version();
        if (v != QORV_XRAYTEXTURE_VERSION)
            throw std::runtime_error(path + " is shader version " + std::to_string(v) +
                                     "; this renderer drives version " +
                                     std::to_string(QORV_XRAYTEXTURE_VERSION));
        // The host operations are exported by this program itself.
        void* host = dlopen(nullptr, RTLD_NOW);
        if (!host || !dlsym(host, "mi_trace_reflection"))
            throw std::runtime_error("this program does not export the host operations");
        set_module_handle(host);
    } catch (...) {
        dlclose(module_);
        throw;
    }
}

ShaderLibrary::~ShaderLibrary() {
    dlclose(module_);
}

std::string program_path() {
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    return n > 0 ? std::string(exe, size_t(n)) : std::string();
}

std::string default_shader_path() {
    const std::string path = program_path();
    const std::string dir = path.substr(0, path.find_last_of('/') + 1);
    // Beside the program in the build tree; in its plugin folder once installed.
    const std::string beside = dir + "qorv_xraytexture.so";
    if (access(beside.c_str(), F_OK) == 0)
        return beside;
    return dir + XRAY_INSTALLED_MODULE_DIR "/qorv_xraytexture.so";
}

} // namespace xr
