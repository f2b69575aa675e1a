// A progress bar on the standard error stream, drawn only when that is a terminal.
#pragma once

#include <mutex>

namespace xr {

class ProgressBar {
  public:
    ProgressBar();
    // Safe to call from any thread; redraws only when the bar visibly moves.
    void update(float done);
    // Clears the bar so the next line starts clean.
    void finish();

  private:
    bool enabled_;
    int shown_ = -1; // percent last drawn
    std::mutex mutex_;
};

} // namespace xr
