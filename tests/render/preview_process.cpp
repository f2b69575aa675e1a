#include "tests/render/preview_process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

PreviewProcess::PreviewProcess(const std::vector<std::string>& args) {
    int out[2];
    if (pipe(out) != 0)
        throw std::runtime_error("pipe");
    std::vector<std::string> all = {XRAY_RENDER, "serve", "--port", "0"};
    all.insert(all.end(), args.begin(), args.end());
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    // The first line names the address. The rest stays unread in the pipe,
    // open until the end: output that cannot be written is a failure.
    output_ = fdopen(out[0], "r");
    char line[1024] = {};
    const bool got = std::fgets(line, sizeof line, output_) != nullptr;
    const std::string text = got ? line : "";
    const size_t colon = text.rfind(':');
    if (text.find(" at http://") == std::string::npos || colon == std::string::npos) {
        std::fclose(output_);
        throw std::runtime_error("xray-render serve did not start: '" + text + "'");
    }
    port_ = std::stoi(text.substr(colon + 1));
}

PreviewProcess::~PreviewProcess() {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    std::fclose(output_);
    // A clean stop: no crash on the way out, and under the sanitizers no leak.
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

httplib::Client PreviewProcess::client() const {
    httplib::Client c("127.0.0.1", port_);
    c.set_read_timeout(60);
    return c;
}

size_t PreviewProcess::resident_memory() const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stoull(line.substr(6)) * 1024;
    return 0;
}

bool PreviewProcess::running() const {
    int status = 0;
    return waitpid(pid_, &status, WNOHANG) == 0;
}

EventListener::EventListener(int port) : client_("127.0.0.1", port) {
    client_.set_read_timeout(60);
    thread_ = std::thread([this] {
        client_.Get(
            "/api/events",
            [this](const httplib::Response& r) {
                const std::lock_guard<std::mutex> lock(mutex_);
                status_ = r.status;
                arrived_.notify_all();
                return true;
            },
            [this](const char* data, size_t size) {
                receive(data, size);
                return true;
            });
    });
}

EventListener::~EventListener() {
    client_.stop();
    thread_.join();
}

void EventListener::receive(const char* data, size_t size) {
    const std::lock_guard<std::mutex> lock(mutex_);
    partial_.append(data, size);
    for (size_t end; (end = partial_.find("\n\n")) != std::string::npos;) {
        const std::string block = partial_.substr(0, end);
        partial_.erase(0, end + 2);
        const size_t data_at = block.find("\ndata: ");
        if (block.rfind("event: ", 0) != 0 || data_at == std::string::npos)
            continue; // a heartbeat
        events_.push_back(
            {block.substr(7, data_at - 7), nlohmann::json::parse(block.substr(data_at + 7))});
    }
    arrived_.notify_all();
}

ServerEvent EventListener::wait_for(const std::function<bool(const ServerEvent&)>& wanted,
                                    std::chrono::seconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    size_t looked = 0;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (; looked < events_.size(); ++looked)
            if (wanted(events_[looked]))
                return events_[looked];
        if (arrived_.wait_until(lock, deadline) == std::cv_status::timeout) {
            ADD_FAILURE() << "no such event within " << timeout.count() << " s";
            return {};
        }
    }
}

std::vector<ServerEvent> EventListener::events() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

int EventListener::status() {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait_for(lock, std::chrono::seconds(60), [&] { return status_ != 0; });
    return status_;
}

bool final_frame_of(const ServerEvent& e, uint64_t edit) {
    return e.kind == "frame" && e.data["final"] == true && e.data["edit"] >= edit;
}

httplib::Result post_json(httplib::Client& client, const std::string& path,
                          const std::string& body) {
    return client.Post(path.c_str(), body, "application/json");
}
