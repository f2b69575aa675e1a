#include "render/output/output_file.h"

#include "render/util/interrupt.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace xr {

namespace {

std::runtime_error write_error(const std::string& path, int error) {
    return std::runtime_error("cannot write " + path + ": " + std::strerror(error));
}

} // namespace

OutputFile::OutputFile(const std::string& path) : path_(path) {
    struct stat st;
    if (path.empty())
        throw std::runtime_error("no output path given");
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw write_error(path, EISDIR);
    // Hidden, in the same directory, so that the rename cannot cross file systems.
    const size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    temporary_ = dir + "." + name + ".XXXXXX";
    // No interruption between making the file and knowing to remove it.
    sigset_t interrupts, before;
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &interrupts, &before);
    fd_ = mkstemp(temporary_.data());
    const int error = errno;
    if (fd_ >= 0)
        remove_on_interrupt(temporary_.c_str());
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (fd_ < 0)
        throw write_error(path, error);
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) {
        remove_on_interrupt(nullptr);
        close(fd_);
        unlink(temporary_.c_str());
    }
}

void OutputFile::commit(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw write_error(path_, n < 0 ? errno : EIO);
        done += size_t(n);
    }
    // mkstemp creates the file private to its owner; give it the usual mode.
    const mode_t mask = umask(0);
    umask(mask);
    int error = fchmod(fd_, 0666 & ~mask) == 0 ? 0 : errno;
    if (close(fd_) != 0 && error == 0)
        error = errno;
    fd_ = -1;
    if (error == 0 && rename(temporary_.c_str(), path_.c_str()) != 0)
        error = errno;
    remove_on_interrupt(nullptr);
    if (error != 0) {
        unlink(temporary_.c_str());
        throw write_error(path_, error);
    }
}

void check_writable(const std::string& path) {
    OutputFile probe(path);
}

} // namespace xr
