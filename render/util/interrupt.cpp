#include "render/util/interrupt.h"

#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace xr {

namespace {

std::atomic<int> doomed_folder{-1};
std::atomic<const char*> doomed_name{nullptr};
static_assert(std::atomic<int>::is_always_lock_free, "read from a signal handler");
static_assert(std::atomic<const char*>::is_always_lock_free, "read from a signal handler");

extern "C" void on_interrupt(int signal) {
    end_interrupted(signal);
}

constexpr int interrupt_list[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t interrupt_signals() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : interrupt_list)
        sigaddset(&set, signal);
    return set;
}

// Whether `signal` interrupts this run: one the program was started ignoring
// (under nohup, or as a script's background job for Ctrl-C) stays ignored,
// as the one who started it asked.
bool interrupts(int signal) {
    struct sigaction current {};
    return sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN;
}

} // namespace

void handle_interrupts() {
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    action.sa_mask = interrupt_signals();
    for (int signal : interrupt_list)
        if (interrupts(signal))
            sigaction(signal, &action, nullptr);
}

void end_interrupted(int signal) {
    // Read, not taken: a second signal, on this thread or another, while the
    // first is being handled removes it too (a second removal finds nothing).
    if (const char* name = doomed_name.load())
        unlinkat(doomed_folder.load(), name, 0);
    // Ended by the signal itself, so the parent sees what stopped the program.
    std::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    _exit(128 + signal); // the status the shell would report, should it not end
}

OrderlyStop::OrderlyStop() {
    const sigset_t signals = interrupt_signals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    taking_ = std::thread([this] { take(); });
}

void OrderlyStop::on_first(std::function<void()> stop) {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = std::move(stop);
}

void OrderlyStop::finish() {
    if (finished_.exchange(true))
        return;
    // Woken by one of the signals it waits for, which it then takes for none.
    pthread_kill(taking_.native_handle(), SIGTERM);
    taking_.join();
    if (stopping_.joinable())
        stopping_.join();
}

void OrderlyStop::take() {
    const sigset_t signals = interrupt_signals();
    int signal = 0;
    while (sigwait(&signals, &signal) == 0 && !finished_) {
        if (!interrupts(signal))
            continue; // ignored when the program started
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!stop_ || stopping_.joinable())
            end_interrupted(signal);
        stopping_ = std::thread(stop_);
    }
}

void remove_on_interrupt(int folder, const char* name) {
    // The folder first: a name is never read with another file's folder.
    doomed_name.store(nullptr);
    doomed_folder.store(folder);
    doomed_name.store(name);
}

} // namespace xr
