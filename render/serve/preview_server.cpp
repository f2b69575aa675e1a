#include "render/serve/preview_server.h"

#include "render/serve/http_server.h"
#include "render/util/embedded_text.h"
#include "render/util/text.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace xr {

namespace {

using Clock = std::chrono::steady_clock;

// Edits are a few hundred bytes; nothing the page sends comes near this.
constexpr size_t max_body_bytes = 64 * 1024;
// An idle stream sends a comment this often, which keeps proxies from
// closing it, and looks this often for its page having gone.
constexpr std::chrono::seconds stream_heartbeat{15};
constexpr std::chrono::milliseconds stream_check{250};

struct PageFile {
    const char* path;
    const char* const* text;
    const char* type;
};
const PageFile page_files[] = {
    {"/", &preview_page_html, "text/html; charset=utf-8"},
    {"/style.css", &preview_page_css, "text/css; charset=utf-8"},
    {"/app.js", &preview_page_js, "text/javascript; charset=utf-8"},
};

template <class Reply> void reply(httplib::Response& res, int status, const Reply& body) {
    res.status = status;
    res.set_content(message_text(body), "application/json");
}

void refuse(httplib::Response& res, int status, const std::string& why) {
    reply(res, status, ErrorReply{why});
}

// Why a request is refused for its size, or for what httplib cannot read.
std::string status_text(int status) {
    switch (status) {
    case 400:
        return "the request cannot be read: its line, a header, a chunk or its coded body is "
               "malformed, or it did not arrive whole";
    case 413:
        return "the request is larger than " + std::to_string(max_body_bytes / 1024) + " KiB";
    case 414:
        return "the request's target is too long";
    case 416:
        return "the range asked for is not in the resource";
    default:
        return "the request cannot be served";
    }
}

// A request that may not be served: the status to answer, and why.
struct Refusal {
    int status;
    std::string why;
};

// A host name the pages may use: an address, localhost, this machine's name
// or the name the server was bound by, which its address names. Any other
// name may be a DNS rebinding of this server by another site.
bool known_host(std::string host, const std::string& bound) {
    std::string port;
    const size_t colon = host.find(':');
    if (host.size() > 2 && host.front() == '[' && host.find(']') != std::string::npos) {
        const size_t close = host.find(']'); // [v6]:port
        port = host.substr(close + 1);
        host = host.substr(1, close - 1);
        if (!port.empty() && port[0] != ':')
            return false;
        port = port.substr(std::min<size_t>(1, port.size()));
    } else if (colon != std::string::npos && colon == host.rfind(':')) {
        port = host.substr(colon + 1); // name:port
        host = host.substr(0, colon);
    }
    if (port.find_first_not_of("0123456789") != std::string::npos)
        return false; // a port that is not a number: "80@other.site"
    unsigned char address[16];
    if (inet_pton(AF_INET, host.c_str(), address) == 1 ||
        inet_pton(AF_INET6, host.c_str(), address) == 1 || host == "localhost" || host == bound)
        return true;
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 && host == name;
}

// Whether a list such as "GET, HEAD" names the method.
bool takes(const std::string& methods, const std::string& method) {
    return (", " + methods + ",").find(" " + method + ",") != std::string::npos;
}

// Whether a stated Content-Length is a number, which httplib does not check:
// it reads "-5" as a length near 2^64, and "five" as none.
bool length_is_number(const httplib::Request& req) {
    if (!req.has_header("Content-Length"))
        return true;
    const std::string length = req.get_header_value("Content-Length");
    return !length.empty() && length.find_first_not_of("0123456789") == std::string::npos;
}

// Whether a Content-Type names JSON, in any case, with or without parameters.
bool is_json(const std::string& type) {
    return lowercase(type).rfind("application/json", 0) == 0;
}

// Throws a Refusal for a request that may not be served. Pages of other sites
// must not drive the preview: they cannot send JSON without asking first, and
// their requests carry their own origin. A body stated too large is refused
// before it is read, which httplib would wait for.
void check_request(const httplib::Request& req, const std::map<std::string, std::string>& allowed,
                   const std::string& bound) {
    if (req.get_header_value_count("Host") > 1)
        throw Refusal{400, "Host is stated more than once"};
    if (!known_host(req.get_header_value("Host"), bound))
        throw Refusal{403, "unknown host '" + req.get_header_value("Host") +
                               "'; open the page by address"};
    const auto methods = allowed.find(req.path);
    if (methods == allowed.end())
        throw Refusal{404, "there is no such resource"};
    if (!takes(methods->second, req.method))
        throw Refusal{405, req.method + " " + req.path + ": it takes " + methods->second};
    if (!length_is_number(req))
        throw Refusal{400, "Content-Length: '" + req.get_header_value("Content-Length") +
                               "' is not a number"};
    // Bodies whose end two readers could see in two places.
    if (req.get_header_value_count("Content-Length") > 1)
        throw Refusal{400, "Content-Length is stated more than once"};
    if (req.has_header("Transfer-Encoding")) {
        if (req.has_header("Content-Length"))
            throw Refusal{400, "Content-Length and Transfer-Encoding are both stated"};
        const std::string coding = req.get_header_value("Transfer-Encoding");
        if (req.get_header_value_count("Transfer-Encoding") > 1 || lowercase(coding) != "chunked")
            throw Refusal{400, "Transfer-Encoding: '" + printable(coding) +
                                   "': a body is read by its length or in chunks alone"};
    }
    if (req.has_header("Content-Encoding")) {
        const std::string coding = lowercase(req.get_header_value("Content-Encoding"));
        if (req.get_header_value_count("Content-Encoding") > 1 ||
            (coding != "gzip" && coding != "deflate" && coding != "identity"))
            throw Refusal{415, "Content-Encoding: '" +
                                   printable(req.get_header_value("Content-Encoding")) +
                                   "': a body is read plain, or as gzip or deflate"};
    }
    const bool carries_body = stated_length(req) > 0 || req.has_header("Transfer-Encoding");
    if ((req.method == "GET" || req.method == "HEAD") && carries_body)
        throw Refusal{400, req.method + " takes no body"};
    if (stated_length(req) > max_body_bytes)
        throw Refusal{413, status_text(413)};
    if (req.method == "GET" || req.method == "HEAD")
        return;
    const std::string origin = req.get_header_value("Origin");
    if (!origin.empty() && origin != "http://" + req.get_header_value("Host"))
        throw Refusal{403, "requests from " + origin + " are not served"};
    if (!is_json(req.get_header_value("Content-Type")))
        throw Refusal{415, "expected Content-Type: application/json"};
}

// The answer to a client that has closed its end, which may still read it
// (it shut only its sending side): not one of success.
void refuse_gone(httplib::Response& res) {
    refuse(res, 400, "the client closed its end of the connection: the request was given up");
    end_connection_with_answer();
}

// Answers with the worker's result, or its error. A client that has gone
// frees its connection's thread at once, after `gone`.
void reply_when_done(
    std::shared_future<nlohmann::ordered_json> done, httplib::Response& res,
    const std::function<void()>& gone = [] {}) {
    while (done.wait_for(stream_check) != std::future_status::ready)
        if (client_has_gone()) {
            gone();
            return refuse_gone(res);
        }
    try {
        res.status = 200;
        res.set_content(json_text(done.get()), "application/json");
    } catch (const std::exception& e) {
        refuse(res, 500, e.what());
    }
}

} // namespace

PreviewServer::PreviewServer(PreviewWorker& worker, EventHub& events, int connections)
    // Each open page holds a thread with its event stream, up to half of them;
    // a quarter wait on slow clients; the rest answer requests.
    : worker_(worker), events_(events),
      http_(std::make_unique<HttpServer>(ConnectionLimits{connections, connections / 4})),
      max_streams_(connections / 2), streams_(std::make_shared<std::atomic<int>>(0)) {
    http_->set_payload_max_length(max_body_bytes);
    // SO_REUSEADDR alone: httplib's default, SO_REUSEPORT, lets a second
    // server listen on the port too and take some of this one's requests.
    http_->set_socket_options([this](socket_t sock) {
        const int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        last_socket_ = sock;
    });
    http_->set_keep_alive_max_count(1000);
    http_->set_write_timeout(10);
    http_->set_default_headers({
        {"Cache-Control", "no-store"},
        {"X-Content-Type-Options", "nosniff"},
        {"Referrer-Policy", "no-referrer"},
        {"Content-Security-Policy", "default-src 'self'; img-src 'self' data:; "
                                    "frame-ancestors 'none'; form-action 'none'"},
    });
    // The status of the refusal set in `res`, or 0 for a request that may be served.
    const auto refused = [this](const httplib::Request& req, httplib::Response& res) {
        // httplib cuts every answer to the ranges a request asks for, a
        // refusal's too, with a copy of the whole for each range: a request
        // of a few thousand took gigabytes. One range is served (a download
        // resumed); more, or any on a refusal, are let go, as a server may.
        // The request is httplib's own, not const.
        auto& ranges = const_cast<httplib::Request&>(req).ranges;
        if (ranges.size() > 1)
            ranges.clear();
        try {
            check_request(req, allowed_, bound_);
            return 0;
        } catch (const Refusal& r) {
            ranges.clear();
            if (r.status == 405)
                res.set_header("Allow", allowed_.at(req.path));
            refuse(res, r.status, r.why);
            return r.status;
        }
    };
    http_->set_pre_routing_handler([refused](const httplib::Request& req, httplib::Response& res) {
        return refused(req, res) ? httplib::Server::HandlerResponse::Handled
                                 : httplib::Server::HandlerResponse::Unhandled;
    });
    // A client that waits to be asked for its body is refused before it sends it.
    http_->set_expect_100_continue_handler(
        [refused](const httplib::Request& req, httplib::Response& res) {
            const int status = refused(req, res);
            return status ? status : 100;
        });
    // Every error, whether this server's refusal or httplib's (a request line
    // or header it cannot read, a body it cannot): the body, unread or of no
    // length known, would pass for the next request, as a page of another
    // site could send one in a form's text.
    http_->set_error_handler([](const httplib::Request&, httplib::Response& res) {
        res.set_header("Connection", "close");
        end_connection_with_answer();
        if (res.body.empty())
            refuse(res, res.status, status_text(res.status));
    });
    http_->set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr error) {
            std::string why = "internal error";
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                why = e.what();
            } catch (...) {
            }
            refuse(res, 500, why);
        });
    add_routes();
}

PreviewServer::~PreviewServer() = default;

void PreviewServer::add_routes() {
    // Each path with the methods it takes, which a request by any other is
    // told; httplib answers HEAD as GET.
    auto get = [this](const std::string& path, const httplib::Server::Handler& handler) {
        allowed_[path] = "GET, HEAD";
        http_->Get(path, handler);
    };
    // The body read as it arrives, however it is framed (by its length or
    // chunked) and encoded, and refused once it passes the limit. A request
    // with neither length nor chunks has no body, as HTTP/1.1 has it: httplib
    // would read on until the client closed the connection.
    auto post = [this](const std::string& path, const httplib::Server::Handler& handler) {
        allowed_[path] = "POST";
        http_->Post(path, [handler](const httplib::Request& req, httplib::Response& res,
                                    const httplib::ContentReader& read) {
            httplib::Request whole = req;
            bool over = false;
            const bool framed =
                req.has_header("Content-Length") || req.has_header("Transfer-Encoding");
            const bool read_whole = !framed || read([&](const char* data, size_t size) {
                over = whole.body.size() + size > max_body_bytes;
                if (!over)
                    whole.body.append(data, size);
                return !over;
            });
            if (!read_whole) {
                // httplib's own status for a body it could not read.
                const int status = over ? 413 : res.status > 0 ? res.status : 400;
                return refuse(res, status, status_text(status));
            }
            handler(whole, res);
        });
    };

    for (const PageFile& file : page_files)
        get(file.path, [file](const httplib::Request&, httplib::Response& res) {
            res.set_content(*file.text, file.type);
        });

    get("/api/state", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(*events_.latest(EventKind::state), "application/json");
    });

    get("/api/frame.png", [this](const httplib::Request&, httplib::Response& res) {
        const auto frame = worker_.latest_frame();
        if (!frame)
            return refuse(res, 404, "no frame has been rendered yet");
        for (const auto& [name, value] : frame_headers(frame->about))
            res.set_header(name, value);
        res.set_content(reinterpret_cast<const char*>(frame->png.data()), frame->png.size(),
                        "image/png");
    });

    post("/api/edit", [this](const httplib::Request& req, httplib::Response& res) {
        try {
            reply(res, 200, EditReply{worker_.edit(req.body)});
        } catch (const EditError& e) {
            refuse(res, 400, e.what());
        }
    });
    post("/api/save", [this](const httplib::Request&, httplib::Response& res) {
        reply_when_done(worker_.save(), res);
    });
    post("/api/render", [this](const httplib::Request&, httplib::Response& res) {
        if (client_has_gone()) // before it is queued
            return refuse_gone(res);
        uint64_t job = 0;
        reply_when_done(worker_.render_image(&job), res, [&] { worker_.give_up(job); });
    });

    get("/api/events", [this](const httplib::Request&, httplib::Response& res) {
        // Counted while the response, and the stream it carries, lives.
        auto ticket = std::shared_ptr<std::atomic<int>>(
            streams_.get(), [streams = streams_](std::atomic<int>* n) { --*n; });
        if (++*streams_ > max_streams_)
            return refuse(res, 503, "too many pages are open");
        auto seen = std::make_shared<EventHub::Seen>();
        auto sent = std::make_shared<Clock::time_point>(Clock::now());
        // Ends, and frees its place, as soon as the page has gone.
        res.set_chunked_content_provider(
            "text/event-stream", [this, ticket, seen, sent](size_t, httplib::DataSink& sink) {
                std::vector<EventHub::Event> events;
                if (!events_.wait(*seen, events, stream_check) || !sink.is_writable())
                    return false;
                if (events.empty() && Clock::now() - *sent < stream_heartbeat)
                    return true;
                *sent = Clock::now();
                if (events.empty())
                    return sink.write(":\n\n", 3);
                for (const EventHub::Event& e : events)
                    if (!sink.write(e->data(), e->size()))
                        return false;
                return true;
            });
    });
}

int PreviewServer::bind(const std::string& address, int port) {
    errno = 0;
    const int bound = port == 0 ? http_->bind_to_any_port(address)
                                : (http_->bind_to_port(address, port) ? port : -1);
    // httplib says only that binding failed; the system's reason is in errno.
    const int reason = errno;
    if (bound <= 0)
        throw std::runtime_error("cannot listen on " + address + " port " + std::to_string(port) +
                                 (reason == EADDRINUSE
                                      ? ": it is in use (--port 0 picks a free one)"
                                  : reason ? std::string(": ") + std::strerror(reason)
                                           : std::string()));
    // httplib listens with a backlog of 5: past it, the kernel drops a new
    // connection's handshake and its client retries a second or more later,
    // so a burst of requests (a page's Renders sent and abandoned) would
    // arrive over seconds, each held off behind the last. Listening again
    // on the bound socket only sets the backlog; the system caps it.
    if (::listen(last_socket_, SOMAXCONN) != 0)
        throw std::runtime_error("cannot listen on " + address + " port " + std::to_string(bound) +
                                 ": " + std::strerror(errno));
    http_->start_threads();
    bound_ = address;
    return bound;
}

void PreviewServer::listen() {
    // However listening ends, even by an exception, a stop need not wait for it.
    struct Listened {
        std::atomic<bool>& flag;
        ~Listened() { flag = true; }
    } listened{listened_};
    // stop() closes the socket before httplib would find it failing, so a
    // false here is a failure, not a stop.
    const bool served = http_->listen_after_bind();
    if (!served)
        throw std::runtime_error("stopped serving: a connection could not be accepted");
}

void PreviewServer::stop() {
    events_.close();
    // httplib's stop() does nothing before it runs: a stop that comes first
    // (a signal as serving starts) waits for it.
    while (!http_->is_running() && !listened_)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    http_->stop();
}

} // namespace xr
