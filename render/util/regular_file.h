// Files read whole: only regular files, whose reads end. A FIFO, a device or a
// folder given as an input is refused rather than read forever or waited on.
#pragma once

#include "render/util/error.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace xr {

class RegularFile {
  public:
    // Throws std::runtime_error saying why, without the path: the system's
    // reason, "Is a directory", or "not a regular file".
    explicit RegularFile(const std::string& path);
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    // As large as the file was when it was opened.
    size_t size() const { return size_; }
    // Up to `size` bytes; fewer only at the end of the file.
    size_t read_into(uint8_t* into, size_t size) const;
    // Up to `size` bytes from `offset`, leaving where read_into goes on.
    size_t read_at(uint64_t offset, uint8_t* into, size_t size) const;
    // The same as read_into, as text.
    std::string read_text(size_t size) const;

  private:
    int fd_ = -1;
    size_t size_ = 0;
};

// Runs `read`, whose errors say what is wrong but not with which file, and
// names the file in them: "cannot read PATH: why". An Error already says
// where, and passes as it is.
template <class Read> auto reading(const std::string& path, Read read) -> decltype(read()) {
    try {
        return read();
    } catch (const Error&) {
        throw;
    } catch (const std::exception& e) {
        throw std::runtime_error("cannot read " + path + ": " + one_line(e.what()));
    }
}

// The regular file at `path`, or an error that names it.
inline RegularFile open_to_read(const std::string& path) {
    return reading(path, [&] { return RegularFile(path); });
}

} // namespace xr
