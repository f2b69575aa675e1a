#include "render/output/output_file.h"

#include "render/util/interrupt.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace xr {

namespace {

// Symlinks followed before giving up, as Linux follows them.
constexpr int max_links = 40;

std::runtime_error write_error(const std::string& path, int error) {
    return std::runtime_error("cannot write " + path + ": " + std::strerror(error));
}

std::string folder_of(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// The file a chain of symlinks at `path` leads to, whether it exists or not;
// the path itself when it is no symlink.
std::string link_target(const std::string& path) {
    std::string at = path;
    for (int i = 0; i < max_links; ++i) {
        struct stat st;
        if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return at;
        char target[PATH_MAX];
        const ssize_t n = readlink(at.c_str(), target, sizeof target);
        if (n < 0 || size_t(n) == sizeof target)
            throw write_error(path, n < 0 ? errno : ENAMETOOLONG);
        at = (target[0] == '/' ? "" : folder_of(at)) + std::string(target, size_t(n));
    }
    throw write_error(path, ELOOP);
}

// Writes all of the bytes, or throws.
void write_all(int fd, const std::vector<uint8_t>& bytes, const std::string& path) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw write_error(path, n < 0 ? errno : EIO);
        done += size_t(n);
    }
}

// The renamed file's entry in its folder outlives a crash.
int sync_folder(const std::string& folder) {
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int error = fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
    close(fd);
    return error;
}

} // namespace

OutputFile::OutputFile(const std::string& path) : path_(path) {
    if (path.empty())
        throw std::runtime_error("no output path given");
    target_ = link_target(path);
    struct stat st;
    if (stat(target_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            throw write_error(path, EISDIR);
        if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) {
            // Opened when written: a FIFO's open waits for its reader.
            if (access(target_.c_str(), W_OK) != 0)
                throw write_error(path, errno);
            return;
        }
        if (!S_ISREG(st.st_mode))
            throw std::runtime_error("cannot write " + path +
                                     ": not a regular file, a character device or a FIFO");
    } else if (errno == ENAMETOOLONG) {
        // Refused now: the temporary file's shortened name would pass, and
        // the rename fail once the work is done.
        throw write_error(path, errno);
    }
    // Hidden, in the same folder, so that the rename cannot cross file
    // systems; the name shortened so that the suffix stays within the limit.
    const std::string folder = folder_of(target_);
    const long limit = pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    const std::string suffix = ".XXXXXX";
    const size_t name_max = size_t(limit > 0 ? limit : NAME_MAX) - suffix.size() - 1;
    temporary_ = folder + "." + target_.substr(folder.size(), name_max) + suffix;
    // Known to be removed before it exists: an interrupt may reach any of
    // the process's threads, so blocking it in this one cannot keep it from
    // falling between making the file and registering it. mkstemp writes the
    // name in place, and an interrupt before then removes no file.
    remove_on_interrupt(temporary_.c_str());
    fd_ = mkstemp(temporary_.data());
    if (fd_ < 0) {
        const int error = errno;
        remove_on_interrupt(nullptr);
        throw write_error(path, error);
    }
}

// Removed, then forgotten: an interrupt in between removes nothing more.
OutputFile::~OutputFile() {
    if (fd_ >= 0) {
        close(fd_);
        unlink(temporary_.c_str());
        remove_on_interrupt(nullptr);
    }
}

void OutputFile::commit(const std::vector<uint8_t>& bytes) {
    if (temporary_.empty()) {
        const int fd = open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            throw write_error(path_, errno);
        try {
            write_all(fd, bytes, path_);
        } catch (...) {
            close(fd);
            throw;
        }
        if (close(fd) != 0)
            throw write_error(path_, errno);
        return;
    }
    write_all(fd_, bytes, path_);
    // mkstemp creates the file private to its owner; give it the usual mode.
    const mode_t mask = umask(0);
    umask(mask);
    int error = fchmod(fd_, 0666 & ~mask) == 0 && fsync(fd_) == 0 ? 0 : errno;
    if (close(fd_) != 0 && error == 0)
        error = errno;
    fd_ = -1;
    if (error == 0 && rename(temporary_.c_str(), target_.c_str()) != 0)
        error = errno;
    if (error != 0)
        unlink(temporary_.c_str());
    remove_on_interrupt(nullptr);
    if (error != 0)
        throw write_error(path_, error);
    if (const int sync_error = sync_folder(folder_of(target_)))
        throw write_error(path_, sync_error);
}

void check_writable(const std::string& path) {
    OutputFile probe(path);
}

} // namespace xr
