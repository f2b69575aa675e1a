#include "host/module_lookup.h"

#include <cerrno>
#include <dlfcn.h>

namespace host {

ThreadErrorKept::ThreadErrorKept() : errno_(errno) {}

ThreadErrorKept::~ThreadErrorKept() {
    errno = errno_;
}

HostProc lookup_symbol(void* module, const char* name, int* error) {
    errno = 0;
    void* address = dlsym(module, name);
    *error = errno;
    // A failed lookup leaves its message pending for the thread's next
    // dlerror(), which belongs to the host.
    if (address == nullptr)
        dlerror();
    return reinterpret_cast<HostProc>(address);
}

} // namespace host
