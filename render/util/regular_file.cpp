#include "render/util/regular_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace xr {

RegularFile::RegularFile(const std::string& path)
    // Non-blocking, so that opening a FIFO does not wait for a writer; reading
    // a regular file is unaffected.
    : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {
    if (fd_ < 0)
        throw std::runtime_error(std::strerror(errno));
    struct stat st;
    const int error = fstat(fd_, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    if (error != 0 || !S_ISREG(st.st_mode)) {
        close(fd_);
        throw std::runtime_error(error ? std::strerror(error) : "not a regular file");
    }
    size_ = size_t(st.st_size);
}

RegularFile::~RegularFile() {
    close(fd_);
}

namespace {

// Up to `size` bytes, fewer only at the end of the file: from `offset`, or
// from where the last read stopped.
size_t read_fully(int fd, uint8_t* into, size_t size, std::optional<uint64_t> offset) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = offset ? pread(fd, into + done, size - done, off_t(*offset + done))
                                 : read(fd, into + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw std::runtime_error(std::strerror(errno));
        if (n == 0)
            break;
        done += size_t(n);
    }
    return done;
}

} // namespace

size_t RegularFile::read_into(uint8_t* into, size_t size) const {
    return read_fully(fd_, into, size, std::nullopt);
}

size_t RegularFile::read_at(uint64_t offset, uint8_t* into, size_t size) const {
    return read_fully(fd_, into, size, offset);
}

std::string RegularFile::read_text(size_t size) const {
    std::string text(size, '\0');
    text.resize(read_into(reinterpret_cast<uint8_t*>(text.data()), size));
    return text;
}

} // namespace xr
