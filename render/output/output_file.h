// A file that appears whole or not at all: written beside its final name,
// synced, and renamed into place, so a failed run or a crash never leaves a
// partial image. A symlink is written through, to the file it leads to; a
// character device or a FIFO (/dev/null, a pipe) is written straight into,
// never replaced; any other kind of file is refused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xr {

class OutputFile {
  public:
    // Opens the temporary file now, so that an unwritable path fails before
    // any work is done. Throws std::runtime_error.
    explicit OutputFile(const std::string& path);
    // Removes the temporary file unless `commit` succeeded.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void commit(const std::vector<uint8_t>& bytes);

    // Where the bytes go: the path, or the file its symlinks lead to.
    const std::string& target() const { return target_; }

    // For a writer with I/O of its own, as a video's muxer has: the hidden
    // file to fill in place, which commit({}) then puts where it belongs;
    // empty for a device or a FIFO, which are written straight into.
    const std::string& temporary_path() const { return temporary_; }

  private:
    std::string path_;      // as given, for messages
    std::string target_;    // where its symlinks lead
    std::string temporary_; // none for a device or a FIFO
    int fd_ = -1;
};

// Throws what an OutputFile at `path` would, so that a path that cannot be
// written fails before any work is done; leaves nothing behind.
void check_writable(const std::string& path);

} // namespace xr
