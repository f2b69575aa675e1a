// The threads that serve the HTTP server's connections, one connection each
// at a time, started before the server says where it listens.
#pragma once

#include <httplib.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace xr {

// httplib's own pool, when the system gives it fewer threads than it asks
// for, ends the program, or hangs as it tears down a condition its threads
// wait on; this one stops those it started and says so.
class ConnectionThreads : public httplib::TaskQueue {
  public:
    // Throws std::runtime_error when the system gives fewer than `count`.
    explicit ConnectionThreads(int count);
    ~ConnectionThreads() override;
    ConnectionThreads(const ConnectionThreads&) = delete;
    ConnectionThreads& operator=(const ConnectionThreads&) = delete;

    void enqueue(std::function<void()> job) override;
    // Serves the jobs queued, then ends every thread; callable again.
    void shutdown() override;

  private:
    void serve();

    std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace xr
