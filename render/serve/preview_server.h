// The preview over HTTP: the page, the scene's state, edits, Save and Render,
// the newest frame, and what the pages listen to as Server-Sent Events. Every
// request is checked before it reaches the worker, and no part of a request
// reaches the file system.
#pragma once

#include "render/serve/event_hub.h"
#include "render/serve/preview_worker.h"

#include <atomic>
#include <map>
#include <memory>
#include <string>

namespace xr {

class HttpServer;

class PreviewServer {
  public:
    // Serves up to `connections` at once: half of them may be pages' event
    // streams, and a quarter clients slow to send their requests.
    PreviewServer(PreviewWorker& worker, EventHub& events, int connections);
    ~PreviewServer();
    PreviewServer(const PreviewServer&) = delete;
    PreviewServer& operator=(const PreviewServer&) = delete;

    // Binds to the address and port (0: a free one) and gives the port; a
    // port another server listens on is refused. The pages may name the
    // server by `address`. Throws std::runtime_error.
    int bind(const std::string& address, int port);
    // Serves on the bound port until stop(). Throws std::runtime_error when
    // it cannot go on serving.
    void listen();
    // Ends every event stream and stops serving, once listen() is called if
    // it is not yet; callable from any thread.
    void stop();

  private:
    void add_routes();

    PreviewWorker& worker_;
    EventHub& events_;
    std::unique_ptr<HttpServer> http_;
    const int max_streams_;
    std::shared_ptr<std::atomic<int>> streams_;  // event streams open
    std::map<std::string, std::string> allowed_; // each path's methods: "GET, HEAD"
    std::string bound_;                          // the address as bind() was given it
    int last_socket_ = -1;                       // the socket bind() made last
    std::atomic<bool> listened_{false};          // listen() has returned
};

} // namespace xr
