#include "host/module_lookup.h"

#include <windows.h>

namespace host {

HostProc lookup_symbol(void* module, const char* name, int* error) {
    // The last-error code belongs to the host's thread: report the lookup's,
    // then give the thread back the code it had.
    const DWORD saved = GetLastError();
    FARPROC address = GetProcAddress(static_cast<HMODULE>(module), name);
    *error = address ? 0 : static_cast<int>(GetLastError());
    SetLastError(saved);
    return reinterpret_cast<HostProc>(address);
}

} // namespace host
