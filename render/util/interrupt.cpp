#include "render/util/interrupt.h"

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace xr {

namespace {

std::atomic<int> doomed_folder{-1};
std::atomic<const char*> doomed_name{nullptr};
static_assert(std::atomic<int>::is_always_lock_free, "read from a signal handler");
static_assert(std::atomic<const char*>::is_always_lock_free, "read from a signal handler");

extern "C" void on_interrupt(int signal) {
    if (const char* name = doomed_name.exchange(nullptr))
        unlinkat(doomed_folder.load(), name, 0);
    // Ended by the signal itself, so the parent sees what stopped the program.
    std::signal(signal, SIG_DFL);
    raise(signal);
}

constexpr int interrupt_list[] = {SIGINT, SIGTERM, SIGHUP};

} // namespace

sigset_t interrupt_signals() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : interrupt_list)
        sigaddset(&set, signal);
    return set;
}

bool interrupts(int signal) {
    struct sigaction current {};
    return sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN;
}

void handle_interrupts() {
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    for (int signal : interrupt_list)
        if (interrupts(signal))
            sigaction(signal, &action, nullptr);
}

void remove_on_interrupt(int folder, const char* name) {
    // The folder first: a name is never read with another file's folder.
    doomed_name.store(nullptr);
    doomed_folder.store(folder);
    doomed_name.store(name);
}

} // namespace xr
