// The platform's lookup of an exported symbol in a loaded module.
#pragma once

#include "host/host_entry.h"

namespace host {

// Looks `name` up in `module` (passed to the platform unchanged, null included).
// On failure returns null and sets `error` to the platform's last-error code.
// It may change the thread's error state: a ThreadErrorKept around it gives
// the thread its own back.
HostProc lookup_symbol(void* module, const char* name, int* error);

// The calling thread's error state (errno, and the last-error code on
// Windows), taken when made and given back when it ends. It belongs to the
// host: a lookup, and a message about one that cannot be written, must not
// change it.
class ThreadErrorKept {
  public:
    ThreadErrorKept();
    ~ThreadErrorKept();
    ThreadErrorKept(const ThreadErrorKept&) = delete;
    ThreadErrorKept& operator=(const ThreadErrorKept&) = delete;

  private:
    int errno_;
#if defined(_WIN32)
    unsigned long last_error_;
#endif
};

} // namespace host
