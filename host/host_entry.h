// Host operations reached by name at run time. Each wrapper bears its operation's
// name and signature; after the first call it costs one load and one indirect call.
#pragma once

#include <qorv_xraytexture.h>

#include <atomic>

namespace host {

// A slot holds any operation's address; the wrapper restores its type.
using HostProc = void (*)(void);

// Slots of the host's shader interface that this library calls; the other
// slots belong to operations it never uses and stay null.
#define HOST_SLOT(type, name, slot, parameters, arguments) slot_##name = slot,
enum HostSlot : int {
    QORV_XRAYTEXTURE_HOST_OPERATIONS(HOST_SLOT) host_slot_count = 668,
};
#undef HOST_SLOT

struct HostEntryTable {
    std::atomic<HostProc> slot[host_slot_count];
};

static_assert(std::atomic<HostProc>::is_always_lock_free, "slots are read and written whole");
static_assert(sizeof(std::atomic<HostProc>) == sizeof(void*), "slots are pointer-sized");
static_assert(sizeof(HostEntryTable) == 5344, "668 pointer-sized slots");

extern HostEntryTable host_entry_table;

// Looks the name up in the current module and caches the address found.
// Returns null, after printing why, when the operation cannot be resolved.
HostProc resolve_host_entry(HostSlot slot, const char* name);

template <typename Fn> inline Fn host_entry(HostSlot slot, const char* name) {
    HostProc proc = host_entry_table.slot[slot].load(std::memory_order_acquire);
    if (__builtin_expect(proc == nullptr, 0))
        proc = resolve_host_entry(slot, name);
    return reinterpret_cast<Fn>(proc);
}

// An operation that cannot be resolved is not called; its wrapper returns the
// neutral result instead: 0, 0.0f or null.
#define HOST_WRAPPER(type, name, slot, parameters, arguments)                                      \
    inline type name parameters {                                                                  \
        auto fn = host_entry<name##_fn>(slot_##name, #name);                                       \
        return fn ? fn arguments : static_cast<type>(0);                                           \
    }
QORV_XRAYTEXTURE_HOST_OPERATIONS(HOST_WRAPPER)
#undef HOST_WRAPPER

} // namespace host
