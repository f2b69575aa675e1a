#include "render/serve/connection_threads.h"

#include "render/util/text.h"

#include <stdexcept>
#include <system_error>

namespace xr {

ConnectionThreads::ConnectionThreads(int count) {
    try {
        threads_.reserve(size_t(count));
        for (int i = 0; i < count; ++i)
            threads_.emplace_back([this] { serve(); });
    } catch (const std::exception& e) {
        const size_t started = threads_.size();
        shutdown();
        throw std::runtime_error("cannot start " + count_text(size_t(count), "connection thread") +
                                 " (" + std::to_string(started) + " started): " + e.what());
    }
}

ConnectionThreads::~ConnectionThreads() {
    shutdown();
}

void ConnectionThreads::enqueue(std::function<void()> job) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    queued_.notify_one();
}

void ConnectionThreads::shutdown() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_all();
    for (std::thread& thread : threads_)
        if (thread.joinable())
            thread.join();
}

void ConnectionThreads::serve() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            queued_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty())
                return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

} // namespace xr
