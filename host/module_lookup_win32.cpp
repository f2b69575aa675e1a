#include "host/module_lookup.h"

#include <cerrno>
#include <windows.h>

namespace host {

ThreadErrorKept::ThreadErrorKept() : errno_(errno), last_error_(GetLastError()) {}

ThreadErrorKept::~ThreadErrorKept() {
    errno = errno_;
    SetLastError(static_cast<DWORD>(last_error_));
}

HostProc lookup_symbol(void* module, const char* name, int* error) {
    FARPROC address = GetProcAddress(static_cast<HMODULE>(module), name);
    *error = address ? 0 : static_cast<int>(GetLastError());
    return reinterpret_cast<HostProc>(address);
}

} // namespace host
