// What the pages listen to: the newest event of each kind, as Server-Sent
// Events. A page that falls behind skips to the newest rather than queueing
// what it missed, so a slow browser costs no memory.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace xr {

// The scene's state; a rendered frame; how far the render in flight has come;
// the outcome of the last Save or Render, or an error.
enum class EventKind { state, frame, progress, status };
constexpr size_t event_kinds = 4;

class EventHub {
  public:
    // The numbers of the events a page has had, by kind; all 0 for a new page.
    using Seen = std::array<uint64_t, event_kinds>;
    using Event = std::shared_ptr<const std::string>;

    // Replaces the newest event of its kind; `data` is one line of JSON.
    void publish(EventKind kind, const std::string& data);

    // Waits until there is an event the page has not had, the hub closes or
    // `timeout` passes; gives the events in the order they were published,
    // each as the text of one Server-Sent Event. False once the hub is closed.
    bool wait(Seen& seen, std::vector<Event>& events, std::chrono::milliseconds timeout);

    // Drops the newest event of its kind, which no longer holds: a page that
    // opens later is not sent it.
    void withdraw(EventKind kind);

    // The data of the newest event of that kind, or null before the first.
    std::shared_ptr<const std::string> latest(EventKind kind) const;

    // Ends every wait, now and later.
    void close();

  private:
    struct Slot {
        uint64_t number = 0;
        Event event;                             // "event: ...\ndata: ...\n\n"
        std::shared_ptr<const std::string> data; // the JSON alone
    };

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::array<Slot, event_kinds> slots_;
    uint64_t published_ = 0;
    bool closed_ = false;
};

} // namespace xr
