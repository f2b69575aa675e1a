#include "host/host_entry.h"

#include "host/module_lookup.h"

#include <cstdio>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sched.h>
#endif

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
// Lookups between their check of the module and their store into the table.
std::atomic<int> storing{0};

static_assert(std::atomic<void*>::is_always_lock_free, "the handle is read and written whole");
static_assert(std::atomic<int>::is_always_lock_free, "the count is read and written whole");

// Lets any thread that waits for this core run first.
void yield_core() {
#if defined(_WIN32)
    SwitchToThread();
#else
    sched_yield();
#endif
}

// A lookup that was preempted between its check and its store finishes only
// when it runs again, so after a short spin the waiting thread gives its core
// away rather than spin through the other thread's time slice.
void relax(unsigned spins) {
    if (spins < 64) {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
        return;
    }
    yield_core();
}

#if defined(QORV_XRAYTEXTURE_TEST_WINDOW)
// Test builds only: a lookup that found its module still current lingers
// before it stores, so that a test can see what the wait closes: it makes this
// many stores, each as dear as clearing one slot, and may then give its core away.
std::atomic<unsigned> window_rounds{0};
std::atomic<bool> window_yields{false};
std::atomic<HostProc> window_round{nullptr};

void linger() {
    for (unsigned round = 0, rounds = window_rounds.load(); round < rounds; ++round)
        window_round.store(nullptr);
    if (window_yields.load())
        yield_core();
}
#endif

} // namespace

// The cold path. Every access to the handle, the count and the slots here and
// in miSetModuleHandle is sequentially consistent: their order decides whether
// an address may stay cached.
HostProc resolve_host_entry(HostSlot slot, const char* name) {
    const ThreadErrorKept kept;
    void* handle = dl_handle.load();
    if (handle == nullptr)
        fprintf(stderr, "DYNLOAD: dl_handle null\n");

    int error = 0;
    const HostProc proc = lookup_symbol(handle, name, &error);
    if (proc == nullptr) {
        fprintf(stderr, "dlsym failed on \"%s\" (handle: %08x error: %d)\n", name,
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(handle)), error);
        return nullptr;
    }
    // Cached only if its module is still the current one. A change of module
    // that this check misses waits for the store and then clears it; this call
    // still uses the address it found.
    storing.fetch_add(1);
    if (dl_handle.load() == handle) {
#if defined(QORV_XRAYTEXTURE_TEST_WINDOW)
        linger();
#endif
        host_entry_table.slot[slot].store(proc);
    }
    storing.fetch_sub(1);
    return proc;
}

} // namespace host

extern "C" void miSetModuleHandle(void* handle) {
    host::dl_handle.store(handle);
    // The wait's load of the count must not pass this store. The fence keeps
    // them in order also where 64-bit Arm's store-release and load-acquire
    // become a plain store and load, as under qemu on an x86-64 host.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    // A lookup that saw the old module may be storing its address. The wait
    // covers a check and a store, with no call and no lock between them, so it
    // is short and cannot deadlock, even under the host's loader lock.
    for (unsigned spins = 0; host::storing.load() != 0; ++spins)
        host::relax(spins);
    for (auto& slot : host::host_entry_table.slot)
        slot.store(nullptr);
}

#if defined(QORV_XRAYTEXTURE_TEST_WINDOW)
// The definition names the hook; the test build exports it beside the three.
extern "C" QORV_XRAYTEXTURE_EXPORT void QORV_XRAYTEXTURE_TEST_WINDOW(unsigned rounds, int yields) {
    host::window_rounds.store(rounds);
    host::window_yields.store(yields != 0);
}
#endif
