#include "render/serve/event_hub.h"

#include <algorithm>

namespace xr {

namespace {

const char* const kind_names[event_kinds] = {"state", "frame", "progress", "status"};

} // namespace

void EventHub::publish(EventKind kind, const std::string& data) {
    auto event = std::make_shared<const std::string>(
        std::string("event: ") + kind_names[size_t(kind)] + "\ndata: " + data + "\n\n");
    auto json = std::make_shared<const std::string>(data);
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        slots_[size_t(kind)] = {++published_, std::move(event), std::move(json)};
    }
    changed_.notify_all();
}

void EventHub::withdraw(EventKind kind) {
    const std::lock_guard<std::mutex> lock(mutex_);
    slots_[size_t(kind)] = {};
}

bool EventHub::wait(Seen& seen, std::vector<Event>& events, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto unseen = [&] {
        for (size_t k = 0; k < event_kinds; ++k)
            if (slots_[k].number > seen[k])
                return true;
        return false;
    };
    changed_.wait_for(lock, timeout, [&] { return closed_ || unseen(); });
    if (closed_)
        return false;
    std::array<size_t, event_kinds> order;
    for (size_t k = 0; k < event_kinds; ++k)
        order[k] = k;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return slots_[a].number < slots_[b].number; });
    for (size_t k : order)
        if (slots_[k].number > seen[k]) {
            events.push_back(slots_[k].event);
            seen[k] = slots_[k].number;
        }
    return true;
}

std::shared_ptr<const std::string> EventHub::latest(EventKind kind) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return slots_[size_t(kind)].data;
}

void EventHub::close() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

} // namespace xr
