#include "tests/support/platform.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>

#if defined(_WIN32)
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

StderrCapture::StderrCapture() {
#if defined(_WIN32)
    char name[L_tmpnam];
    path_ = std::tmpnam(name) ? name : "stderr_capture.txt";
    file_ = _open(path_.c_str(), _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY, 0600);
#else
    char name[] = "/tmp/stderr_captureXXXXXX";
    file_ = mkstemp(name);
    path_ = name;
#endif
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

} // namespace platform
