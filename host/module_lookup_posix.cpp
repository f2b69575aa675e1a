#include "host/module_lookup.h"

#include <cerrno>
#include <dlfcn.h>

namespace host {

HostProc lookup_symbol(void* module, const char* name, int* error) {
    errno = 0;
    void* address = dlsym(module, name);
    *error = errno;
    return reinterpret_cast<HostProc>(address);
}

} // namespace host
