#include "render/serve/http_server.h"

#include "render/serve/connection_threads.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace xr {

namespace {

using Clock = std::chrono::steady_clock;

// Waits are cut into slices this long, so that a stop is seen.
constexpr std::chrono::milliseconds slice{100};

// Set by end_connection_with_answer(): a connection's requests are served on
// its one thread, handlers included.
thread_local bool ending = false;
// The connection whose request this thread serves.
thread_local const httplib::Stream* serving = nullptr;

// The address of a socket's end, as httplib reports it.
void address_of(int fd, bool peer, std::string& ip, int& port) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    auto* a = reinterpret_cast<sockaddr*>(&address);
    if ((peer ? getpeername(fd, a, &size) : getsockname(fd, a, &size)) != 0)
        return;
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
        inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        port = ntohs(v4->sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
        inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        port = ntohs(v6->sin6_port);
    }
    ip = text;
}

} // namespace

// One connection's socket, read through a buffer, each request against its
// clock.
class HttpServer::Connection : public httplib::Stream {
  public:
    Connection(HttpServer& server, int fd) : server_(server), fd_(fd) {}
    ~Connection() override { end_request(); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The next request's time starts now; it must begin within `idle`, unless
    // it came with the last one (pipelined) and is in the buffer already.
    bool next_request(std::chrono::seconds idle) {
        end_request();
        start_ = Clock::now();
        received_ = 0;
        return begin_ < end_ || wait(POLLIN, start_ + idle);
    }
    void end_request() {
        if (slow_)
            --server_.slow_;
        slow_ = false;
    }

    bool is_readable() const override { return begin_ < end_ || ready(POLLIN); }
    // False once the client has closed its end: a page that has gone.
    bool is_writable() const override {
        pollfd p{fd_, POLLOUT | POLLRDHUP, 0};
        return poll(&p, 1, 0) >= 0 && !(p.revents & (POLLRDHUP | POLLHUP | POLLERR));
    }

    ssize_t read(char* ptr, size_t size) override {
        if (begin_ == end_) {
            if (received_ >= server_.limits_.request_bytes ||
                !wait(POLLIN, start_ + server_.limits_.arrival))
                return -1;
            const ssize_t n = recv(fd_, buffer_, sizeof buffer_, 0);
            if (n <= 0)
                return n;
            begin_ = 0;
            end_ = size_t(n);
            received_ += end_;
        }
        const size_t n = std::min(size, end_ - begin_);
        std::memcpy(ptr, buffer_ + begin_, n);
        begin_ += n;
        return ssize_t(n);
    }

    ssize_t write(const char* ptr, size_t size) override {
        const auto timeout = std::chrono::seconds(server_.write_timeout_sec_);
        if (!wait(POLLOUT, Clock::now() + timeout))
            return -1;
        return send(fd_, ptr, size, MSG_NOSIGNAL);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        address_of(fd_, true, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        address_of(fd_, false, ip, port);
    }
    socket_t socket() const override { return fd_; }

  private:
    bool ready(short events) const {
        pollfd p{fd_, events, 0};
        return poll(&p, 1, 0) > 0;
    }

    // Until the socket is ready for `events`, or the deadline passes, the
    // server stops, or a request still to come is slow and no thread is left
    // for slow clients.
    bool wait(short events, Clock::time_point deadline) {
        for (;;) {
            if (!server_.is_running())
                return false;
            const auto now = Clock::now();
            if (now >= deadline)
                return false;
            auto until = std::min(deadline, now + slice);
            if (events == POLLIN && !slow_) {
                // With no place left for slow clients, a request has only a
                // moment: one that waited in the queue is there in whole.
                const auto grace = server_.slow_ < server_.limits_.slow ? server_.limits_.quick
                                                                        : server_.limits_.brief;
                if (now >= start_ + grace) {
                    if (++server_.slow_ > server_.limits_.slow) {
                        --server_.slow_;
                        return false;
                    }
                    slow_ = true;
                } else {
                    until = std::min(until, start_ + grace);
                }
            }
            pollfd p{fd_, events, 0};
            const int n =
                poll(&p, 1, int(std::chrono::ceil<std::chrono::milliseconds>(until - now).count()));
            if (n > 0)
                return true;
            if (n < 0 && errno != EINTR)
                return false;
        }
    }

    HttpServer& server_;
    const int fd_;
    Clock::time_point start_;
    bool slow_ = false;
    size_t received_ = 0; // bytes of the request
    char buffer_[4096];
    size_t begin_ = 0, end_ = 0;
};

void end_connection_with_answer() {
    ending = true;
}

bool client_has_gone() {
    return serving && !serving->is_writable();
}

uint64_t stated_length(const httplib::Request& req) {
    return httplib::detail::get_header_value<uint64_t>(req.headers, "Content-Length", 0, 0);
}

HttpServer::HttpServer(const ConnectionLimits& limits) : limits_(limits) {
    new_task_queue = [this]() -> httplib::TaskQueue* {
        start_threads();
        return threads_.release();
    };
}

HttpServer::~HttpServer() = default;

void HttpServer::start_threads() {
    if (!threads_)
        threads_ = std::make_unique<ConnectionThreads>(limits_.threads);
}

bool HttpServer::process_and_close_socket(socket_t sock) {
    bool served = false;
    {
        Connection connection(*this, sock);
        const auto idle = std::chrono::seconds(keep_alive_timeout_sec_);
        for (size_t left = keep_alive_max_count_; left > 0; --left) {
            if (!connection.next_request(idle))
                break;
            // A body stated over the limit is refused unread, or skipped as
            // it comes, however slowly: the connection ends with its answer.
            bool closed = false, oversized = false;
            ending = false;
            serving = &connection;
            served = process_request(connection, left == 1, closed, [&](httplib::Request& req) {
                oversized = stated_length(req) > payload_max_length_;
            });
            if (!served || closed || oversized || ending)
                break;
        }
        serving = nullptr;
    }
    shutdown(sock, SHUT_RDWR);
    close(sock);
    return served;
}

} // namespace xr
