// A progress bar on the standard error stream, drawn only when that is a terminal.
#pragma once

#include <mutex>
#include <string>

namespace xr {

class ProgressBar {
  public:
    // `label` says what is in progress: "rendering", "meshing 9 shapes".
    explicit ProgressBar(std::string label = "rendering");
    // Safe to call from any thread; redraws only when the bar visibly moves.
    void update(float done);
    // Clears the bar so the next line starts clean.
    void finish();

  private:
    std::string label_;
    bool enabled_;
    int shown_ = -1; // percent last drawn
    std::mutex mutex_;
};

} // namespace xr
