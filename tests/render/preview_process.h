// xray-render serve as its users run it, started for a test and stopped with
// it, and the Server-Sent Events a page would receive from it.
#pragma once

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

class PreviewProcess {
  public:
    // Starts `xray-render serve --port 0` with the arguments and waits for
    // the address it prints.
    explicit PreviewProcess(const std::vector<std::string>& args);
    // Stops it with SIGTERM; it must exit cleanly.
    ~PreviewProcess();

    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    httplib::Client client() const;
    // Its resident memory now, in bytes.
    size_t resident_memory() const;
    bool running() const;

  private:
    pid_t pid_ = -1;
    int port_ = 0;
    FILE* output_ = nullptr; // its standard output
};

struct ServerEvent {
    std::string kind; // state, frame, progress, status
    nlohmann::json data;
};

// One page's event stream, read on a thread of its own.
class EventListener {
  public:
    explicit EventListener(int port);
    ~EventListener();

    // Waits for an event, received since the listener started, that `wanted`
    // accepts and returns it; fails the test after `timeout`.
    ServerEvent wait_for(const std::function<bool(const ServerEvent&)>& wanted,
                         std::chrono::seconds timeout = std::chrono::seconds(60));
    std::vector<ServerEvent> events() const;
    // The status of the stream's response, once it is known.
    int status();

  private:
    void receive(const char* data, size_t size);

    httplib::Client client_;
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<ServerEvent> events_;
    std::string partial_;
    int status_ = 0;
    std::thread thread_;
};

// The final frame of edit `edit` or a later one.
bool final_frame_of(const ServerEvent& e, uint64_t edit);

// POSTs a JSON body as the page does.
httplib::Result post_json(httplib::Client& client, const std::string& path,
                          const std::string& body);
