#include "render/util/standard_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace xr {

namespace {

std::mutex output_mutex;
int first_error = 0;  // of a flush of stdout
int data_output = -1; // standard output as it was, once claimed

} // namespace

void flush_standard_output() {
    const std::lock_guard<std::mutex> lock(output_mutex);
    if (std::fflush(stdout) != 0 && first_error == 0)
        first_error = errno;
}

void check_standard_output() {
    flush_standard_output();
    const std::lock_guard<std::mutex> lock(output_mutex);
    const int error = first_error != 0 ? first_error : std::ferror(stdout) ? EIO : 0;
    if (error != 0)
        throw std::runtime_error(std::string("cannot write to standard output: ") +
                                 std::strerror(error));
}

int claim_standard_output() {
    flush_standard_output();
    const std::lock_guard<std::mutex> lock(output_mutex);
    if (data_output >= 0)
        return data_output;
    // The program's lines move to standard error, which must take them: one
    // held read-only on /dev/null (closed when the program started) refuses
    // the claim, as a closed one does.
    const int flags = fcntl(STDERR_FILENO, F_GETFL);
    if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY) {
        errno = EBADF;
        return -1;
    }
    const int data = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (data < 0)
        return -1;
    if (dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        const int error = errno;
        close(data);
        errno = error;
        return -1;
    }
    data_output = data;
    return data_output;
}

} // namespace xr
