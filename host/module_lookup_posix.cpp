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
    // A failed lookup leaves its message pending for the thread's next
    // dlerror(), which belongs to the host.
    if (address == nullptr)
        dlerror();
    errno = saved;
    return reinterpret_cast<HostProc>(address);
}

} // namespace host
