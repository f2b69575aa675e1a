#include "render/util/regular_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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

size_t RegularFile::read_into(uint8_t* into, size_t size) const {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = read(fd_, into + done, size - done);
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

std::string RegularFile::read_text(size_t size) const {
    std::string text(size, '\0');
    text.resize(read_into(reinterpret_cast<uint8_t*>(text.data()), size));
    return text;
}

} // namespace xr
