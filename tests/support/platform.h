// The few things the tests do differently on each platform: loading modules,
// capturing the standard error stream and the error code of a missing name.
#pragma once

#include <string>

namespace platform {

// `name` without prefix or suffix, built beside the test program.
std::string module_path(const std::string& name);

// Null on failure. `global` makes the module's names visible to a null-handle
// lookup where the platform has such a scope.
void* open_module(const std::string& path, bool global = false);
void* module_symbol(void* module, const char* name);
void close_module(void* module);
// Whether the module at `path` is still loaded in this process.
bool is_loaded(const std::string& path);
// Whether a lookup with a null handle searches the modules opened as `global`.
bool has_global_scope();

// The calling thread's error code that a lookup could overwrite: errno, or
// GetLastError() on Windows.
int thread_error();
void set_thread_error(int error);
// Whether a message waits for the thread's next dlerror(), which this reads
// and so clears. Never on Windows.
bool lookup_error_pending();

// The error code a failed lookup of a missing name reports on this platform
// (whatever the handle, null included), or -1 where it is left unspecified.
int missing_name_error();

// Redirects the standard error stream (the descriptor, so that the library's
// own writes are caught) into a temporary file until `text` is called.
class StderrCapture {
  public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;
    std::string text();

  private:
    void restore();
    int saved_ = -1;
    int file_ = -1;
    std::string path_;
};

// Points the standard error stream's descriptor at one open for reading
// only, so that every write to it fails, until it ends.
class StderrRefused {
  public:
    StderrRefused();
    ~StderrRefused();
    StderrRefused(const StderrRefused&) = delete;
    StderrRefused& operator=(const StderrRefused&) = delete;

  private:
    int saved_ = -1;
};

} // namespace platform
