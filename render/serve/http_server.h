// httplib's server with its connections held to time: one thread serves each
// connection, so a client that is slow to send its request, or gone without a
// word, must not keep a thread. A request must arrive whole within `arrival`
// of its thread turning to it; one still arriving after `quick` (a client
// trickling its headers, or idle between requests) takes one of the few
// threads set aside for slow clients. When they are all taken, a request
// still arriving after `brief` is closed instead: so slow clients can hold no
// more threads than their share, and quick requests, whole by the time a
// thread takes them from the queue, find the rest. A request longer than
// `request_bytes` is cut off. A streamed response learns
// that its client has gone from the stream's is_writable().
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <memory>

namespace xr {

class ConnectionThreads;

struct ConnectionLimits {
    int threads; // connections served at once
    int slow;    // of them, those slow to send a request
    std::chrono::milliseconds quick{1000};
    std::chrono::milliseconds brief{100};
    std::chrono::milliseconds arrival{10000};
    // Bytes a request may take, line, headers and body together: httplib
    // reads a line whole before it judges its length.
    size_t request_bytes = 1 << 20;
};

// The length of the body as the request states it, read as httplib reads
// it; 0 when it states none.
uint64_t stated_length(const httplib::Request& req);

// Called by a handler that answers a request without reading its body, as a
// refusal does: the connection ends with the answer, or the body would be
// read as the next request, whatever refused it.
void end_connection_with_answer();

// Called by a handler: whether its request's client has closed its end.
bool client_has_gone();

class HttpServer : public httplib::Server {
  public:
    explicit HttpServer(const ConnectionLimits& limits);
    ~HttpServer() override;

    // Starts the threads that will serve connections, before the server
    // says where it listens: listening starts them otherwise. Throws
    // std::runtime_error when the system gives fewer.
    void start_threads();

  private:
    class Connection;
    bool process_and_close_socket(socket_t sock) override;

    const ConnectionLimits limits_;
    std::unique_ptr<ConnectionThreads> threads_; // until listening takes them
    std::atomic<int> slow_{0};                   // connections slow to send a request
};

} // namespace xr
