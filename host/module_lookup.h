// The platform's lookup of an exported symbol in a loaded module.
#pragma once

#include "host/host_entry.h"

namespace host {

// Looks `name` up in `module` (passed to the platform unchanged, null included).
// On failure returns null and sets `error` to the platform's last-error code.
// The calling thread's own error state is left as the lookup found it.
HostProc lookup_symbol(void* module, const char* name, int* error);

} // namespace host
