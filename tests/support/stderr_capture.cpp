#include "tests/support/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>

#if defined(_WIN32)
#include <direct.h>
#include <io.h>
#define dup _dup
#define dup2 _dup2
#define close _close
#define read _read
#define lseek _lseek
#else
#include <unistd.h>
#endif

namespace platform {

namespace {

// A new file under the build tree, like every file the tests write; its path
// replaces the pattern's trailing Xs.
int make_scratch_file(std::string& pattern) {
#if defined(_WIN32)
    if (_mkdir(SCRATCH_ROOT) != 0 && errno != EEXIST)
        return -1;
    if (_mktemp_s(pattern.data(), pattern.size() + 1) != 0)
        return -1;
    return _open(pattern.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    if (mkdir(SCRATCH_ROOT, 0755) != 0 && errno != EEXIST)
        return -1;
    return mkstemp(pattern.data());
#endif
}

} // namespace

StderrCapture::StderrCapture() : path_(SCRATCH_ROOT "/stderr_captureXXXXXX") {
    // Without the file nothing would be captured, and every check of the
    // captured text would pass.
    file_ = make_scratch_file(path_);
    if (file_ < 0)
        throw std::runtime_error("cannot make " + path_ + ": " + std::strerror(errno));
    std::fflush(stderr);
    saved_ = dup(2);
    dup2(file_, 2);
}

StderrCapture::~StderrCapture() {
    restore();
    if (file_ >= 0)
        close(file_);
    std::remove(path_.c_str());
}

void StderrCapture::restore() {
    if (saved_ < 0)
        return;
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    saved_ = -1;
}

std::string StderrCapture::text() {
    restore();
    std::string out;
    lseek(file_, 0, SEEK_SET);
    char buffer[4096];
    int n;
    while ((n = static_cast<int>(read(file_, buffer, sizeof buffer))) > 0)
        out.append(buffer, static_cast<size_t>(n));
    return out;
}

StderrRefused::StderrRefused() {
#if defined(_WIN32)
    const int reading = _open("NUL", _O_RDONLY);
#else
    const int reading = open("/dev/null", O_RDONLY);
#endif
    if (reading < 0)
        throw std::runtime_error(std::string("cannot open the null device: ") +
                                 std::strerror(errno));
    std::fflush(stderr);
    saved_ = dup(2);
    dup2(reading, 2);
    close(reading);
}

StderrRefused::~StderrRefused() {
    dup2(saved_, 2);
    close(saved_);
    std::clearerr(stderr);
}

} // namespace platform
