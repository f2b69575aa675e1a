#include "tests/support/platform.h"

#include <cerrno>
#include <dlfcn.h>
#include <unistd.h>

namespace platform {

std::string module_path(const std::string& name) {
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string dir = n > 0 ? std::string(exe, static_cast<size_t>(n)) : std::string();
    dir = dir.substr(0, dir.find_last_of('/') + 1);
    return dir + name + ".so";
}

void* open_module(const std::string& path, bool global) {
    return dlopen(path.c_str(), RTLD_NOW | (global ? RTLD_GLOBAL : RTLD_LOCAL));
}

void* module_symbol(void* module, const char* name) {
    return dlsym(module, name);
}

void close_module(void* module) {
    dlclose(module);
}

bool is_loaded(const std::string& path) {
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (module)
        dlclose(module);
    return module != nullptr;
}

bool has_global_scope() {
    return true;
}

int thread_error() {
    return errno;
}

void set_thread_error(int error) {
    errno = error;
}

bool lookup_error_pending() {
    return dlerror() != nullptr;
}

int missing_name_error() {
    return -1;
}

} // namespace platform
