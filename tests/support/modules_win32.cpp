#include "tests/support/platform.h"

#include <windows.h>

namespace platform {

std::string module_path(const std::string& name) {
    char exe[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string dir(exe, n);
    dir = dir.substr(0, dir.find_last_of("\\/") + 1);
    return dir + name + ".dll";
}

// Windows has no global scope of names: `global` changes nothing.
void* open_module(const std::string& path, bool) {
    return LoadLibraryA(path.c_str());
}

void* module_symbol(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void close_module(void* module) {
    FreeLibrary(static_cast<HMODULE>(module));
}

bool is_loaded(const std::string& path) {
    return GetModuleHandleA(path.c_str()) != nullptr;
}

bool has_global_scope() {
    return false;
}

int thread_error() {
    return static_cast<int>(GetLastError());
}

void set_thread_error(int error) {
    SetLastError(static_cast<DWORD>(error));
}

bool lookup_error_pending() {
    return false;
}

int missing_name_error() {
    return ERROR_PROC_NOT_FOUND;
}

} // namespace platform
