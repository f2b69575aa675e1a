#include "host/module_lookup.h"

#include <cerrno>
#include <dlfcn.h>

namespace host {

HostProc lookup_symbol(void* module, const char* name, int* error) {
    // errno belongs to the host's thread: report its value after the lookup,
    // then give the thread back the value it had.
    const int saved = errno;
    errno = 0;
    void* address = dlsym(module, name);
    *error = errno;
    errno = saved;
    return reinterpret_cast<HostProc>(address);
}

} // namespace host
