#include "host/host_entry.h"

#include "host/module_lookup.h"

#include <cstdio>

#if defined(_WIN32)
// The C runtime's own fprintf buffers a line and writes it whole. libstdc++ on
// mingw swaps in a replacement that writes it a character at a time, which
// lines written meanwhile by a host with another C runtime could split.
#define fprintf __ms_fprintf
#endif

namespace host {

HostEntryTable host_entry_table;

namespace {

std::atomic<void*> dl_handle{nullptr};

static_assert(std::atomic<void*>::is_always_lock_free, "the handle is read and written whole");

} // namespace

// The cold path. The stores and loads that pair with miSetModuleHandle are
// sequentially consistent so that a lookup racing a change of module can tell
// whether its store may have landed after the table was cleared.
HostProc resolve_host_entry(HostSlot slot, const char* name) {
    void* handle = dl_handle.load();
    if (handle == nullptr)
        fprintf(stderr, "DYNLOAD: dl_handle null\n");

    int error = 0;
    HostProc proc = lookup_symbol(handle, name, &error);
    host_entry_table.slot[slot].store(proc);
    if (proc == nullptr) {
        fprintf(stderr, "dlsym failed on \"%s\" (handle: %08x error: %d)\n", name,
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(handle)), error);
        return nullptr;
    }
    // The module changed during the lookup: this call may still use the address,
    // but it must not stay cached for calls made under the new module.
    if (dl_handle.load() != handle) {
        HostProc cached = proc;
        host_entry_table.slot[slot].compare_exchange_strong(cached, nullptr);
    }
    return proc;
}

} // namespace host

extern "C" QORV_EXPORT void miSetModuleHandle(void* handle) {
    host::dl_handle.store(handle);
    for (auto& slot : host::host_entry_table.slot)
        slot.store(nullptr);
}
