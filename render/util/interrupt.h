// Ctrl-C, SIGTERM and a closed terminal (SIGHUP) while the output is being
// made: the hidden temporary file is removed, and the program ends as the
// signal would have ended it, so the shell reports the usual status (128 + the
// signal's number). A signal ignored when the program started stays ignored.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace xr {

// Installs the handlers for the interrupt signals that interrupt.
void handle_interrupts();

// The file to remove when interrupted: its name in the folder open as
// `folder`, removed from there wherever the folder has been moved to; a null
// name for none. The name must outlive the registration.
void remove_on_interrupt(int folder, const char* name);

// Ends the program as `signal` would, having removed that file: what the
// handler does, for a thread that took the signal itself. Async-signal-safe.
[[noreturn]] void end_interrupted(int signal);

// The interrupts taken by a thread of their own, for a program that stops in
// order (a server): the first runs what on_first set, on another thread, so
// that a second one, while that runs, ends the program at once; so does one
// before anything was set (while a scene loads).
class OrderlyStop {
  public:
    // Blocks the interrupts in this thread and so in every thread started
    // from it later: to be made before any other.
    OrderlyStop();
    ~OrderlyStop() { finish(); }
    OrderlyStop(const OrderlyStop&) = delete;
    OrderlyStop& operator=(const OrderlyStop&) = delete;

    void on_first(std::function<void()> stop);
    // Takes no more interrupts, and waits for what the first one began.
    void finish();

  private:
    void take();

    std::mutex mutex_;
    std::function<void()> stop_;
    std::thread stopping_; // runs stop_
    std::atomic<bool> finished_{false};
    std::thread taking_;
};

} // namespace xr
