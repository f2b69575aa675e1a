#include "render/output/progress_bar.h"

#include <cstdio>
#include <string>
#include <unistd.h>
#include <utility>

namespace xr {

namespace {

constexpr int bar_width = 40;

} // namespace

ProgressBar::ProgressBar(std::string label)
    : label_(std::move(label)), enabled_(isatty(STDERR_FILENO) == 1) {}

void ProgressBar::update(float done) {
    if (!enabled_)
        return;
    const int percent = int(done * 100.0f);
    std::lock_guard<std::mutex> lock(mutex_);
    if (percent <= shown_)
        return;
    shown_ = percent;
    const int filled = percent * bar_width / 100;
    const std::string bar =
        std::string(size_t(filled), '#') + std::string(size_t(bar_width - filled), '.');
    std::fprintf(stderr, "\r%s [%s] %3d%%", label_.c_str(), bar.c_str(), percent);
    std::fflush(stderr);
}

void ProgressBar::finish() {
    if (!enabled_)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    std::fprintf(stderr, "\r%*s\r", int(label_.size()) + bar_width + 8, "");
    std::fflush(stderr);
}

} // namespace xr
