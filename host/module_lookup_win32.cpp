#include "host/module_lookup.h"

#include <windows.h>

namespace host {

HostProc lookup_symbol(void* module, const char* name, int* error) {
    FARPROC address = GetProcAddress(static_cast<HMODULE>(module), name);
    *error = address ? 0 : static_cast<int>(GetLastError());
    return reinterpret_cast<HostProc>(address);
}

} // namespace host
