#include "render/output/output_file.h"

#include "render/util/interrupt.h"
#include "render/util/rng.h"
#include "render/util/standard_output.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <sys/random.h>
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

// The descriptor of this process that `path` names, as /proc/self/fd/1
// (where /dev/stdout leads) or /dev/fd/3 do; -1 for any other path. Such a
// link's text is no path to follow: a pipe's reads "pipe:[1234]", and a file
// opened again would be truncated where the shell opened it to append.
int descriptor_named(const std::string& path) {
    const std::string folder = folder_of(path);
    const std::string name = path.substr(folder.size());
    int fd = -1;
    const char* end = name.data() + name.size();
    const auto [stop, error] = std::from_chars(name.data(), end, fd);
    if (error != std::errc() || stop != end || name != std::to_string(fd))
        return -1;
    char own[PATH_MAX], named[PATH_MAX];
    if (!realpath("/proc/self/fd", own) || !realpath(folder.empty() ? "." : folder.c_str(), named))
        return -1;
    return std::strcmp(own, named) == 0 ? fd : -1;
}

// The file a chain of symlinks at `path` leads to, whether it exists or not;
// the path itself when it is no symlink. The chain stops at a descriptor.
std::string link_target(const std::string& path) {
    std::string at = path;
    for (int i = 0; i < max_links; ++i) {
        struct stat st;
        if (descriptor_named(at) >= 0 || lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
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

// Bits for a unique name: random ones, or where there is no random source (a
// sandbox, an old kernel, early boot) the time, the process and the attempt,
// which creating the file exclusively keeps from clashing.
uint64_t unique_bits(int attempt) {
    uint64_t bits = 0;
    if (getrandom(&bits, sizeof bits, GRND_NONBLOCK) == ssize_t(sizeof bits))
        return bits;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return Rng::hash(uint64_t(now.tv_sec) << 30 ^ uint64_t(now.tv_nsec) ^ uint64_t(getpid()) << 40 ^
                     uint64_t(attempt));
}

// mkstemp's work within the folder open as `folder`: the name's last six
// characters made unique, and the file created there private to its owner.
// -1, with errno set, when it cannot be made.
int make_unique_file(int folder, char* name) {
    static constexpr char letters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    char* unique = name + std::strlen(name) - 6;
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint64_t bits = unique_bits(attempt);
        for (int i = 0; i < 6; ++i, bits /= sizeof letters - 1)
            unique[i] = letters[bits % (sizeof letters - 1)];
        const int fd = openat(folder, name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// The permissions of the regular file at `path`, which the file replacing it
// keeps, as an editor's save does; a new file's usual ones when there is none.
mode_t mode_for(int folder, const std::string& name) {
    struct stat st;
    if (fstatat(folder, name.c_str(), &st, 0) == 0 && S_ISREG(st.st_mode))
        return st.st_mode & 0777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Throws for what is at `target`, where `path` leads, that cannot be written
// there; whether it is a device or a FIFO, written in place.
bool written_in_place(const std::string& path, const std::string& target) {
    struct stat st;
    if (stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            throw write_error(path, EISDIR);
        if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) {
            if (access(target.c_str(), W_OK) != 0)
                throw write_error(path, errno);
            return true;
        }
        if (!S_ISREG(st.st_mode))
            throw std::runtime_error("cannot write " + path +
                                     ": not a regular file, a character device or a FIFO");
    } else if (errno == ENAMETOOLONG) {
        // Refused now: the temporary file's shortened name would pass, and
        // the rename fail once the work is done.
        throw write_error(path, errno);
    }
    return false;
}

} // namespace

OutputFile::OutputFile(const std::string& path) : path_(path) {
    if (path.empty())
        throw std::runtime_error("no output path given");
    target_ = link_target(path);
    if (const int named = descriptor_named(target_); named >= 0) {
        // Standard output taken for the data leaves the program's lines none of it.
        stream_ = named == STDOUT_FILENO ? claim_standard_output() : named;
        const int flags = stream_ < 0 ? -1 : fcntl(stream_, F_GETFL);
        if (flags < 0)
            throw write_error(path, errno);
        if ((flags & O_ACCMODE) == O_RDONLY)
            throw write_error(path, EBADF);
        return;
    }
    // Opened when written: a FIFO's open waits for its reader.
    if (written_in_place(path, target_))
        return;
    // Hidden, in the same folder, so that the rename cannot cross file
    // systems; the name shortened so that the suffix stays within the limit.
    const std::string folder = folder_of(target_);
    const long limit = pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    const std::string suffix = ".XXXXXX";
    const size_t name_max = size_t(limit > 0 ? limit : NAME_MAX) - suffix.size() - 1;
    temporary_ = folder + "." + target_.substr(folder.size(), name_max) + suffix;
    folder_ = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder_ < 0)
        throw write_error(path, errno);
    // Known to be removed before it exists: an interrupt may reach any of
    // the process's threads, so blocking it in this one cannot keep it from
    // falling between making the file and registering it. The name is made
    // in place, and an interrupt before then removes no file.
    remove_on_interrupt(folder_, temporary_name());
    fd_ = make_unique_file(folder_, temporary_.data() + folder.size());
    if (fd_ < 0) {
        const int error = errno;
        remove_on_interrupt(-1, nullptr);
        close(folder_);
        throw write_error(path, error);
    }
}

const char* OutputFile::temporary_name() const {
    return temporary_.c_str() + folder_of(target_).size();
}

std::string OutputFile::target_name() const {
    return target_.substr(folder_of(target_).size());
}

// Removed, then forgotten: an interrupt in between removes nothing more.
OutputFile::~OutputFile() {
    if (opened_)
        close(stream_);
    if (fd_ >= 0) {
        close(fd_);
        unlinkat(folder_, temporary_name(), 0);
        remove_on_interrupt(-1, nullptr);
    }
    if (folder_ >= 0)
        close(folder_);
}

int OutputFile::stream() {
    if (stream_ < 0 && temporary_.empty()) {
        stream_ = open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (stream_ < 0)
            throw write_error(path_, errno);
        opened_ = true;
    }
    return stream_;
}

void OutputFile::commit(const std::vector<uint8_t>& bytes) {
    if (temporary_.empty()) {
        write_all(stream(), bytes, path_);
        int error = 0;
        if (opened_) {
            opened_ = false;
            error = close(stream_) == 0 ? 0 : errno;
            stream_ = -1;
        } else {
            // A descriptor stays open; a regular file behind it is synced.
            struct stat st;
            if (fstat(stream_, &st) != 0 || (S_ISREG(st.st_mode) && fsync(stream_) != 0))
                error = errno;
        }
        if (error != 0)
            throw write_error(path_, error);
        return;
    }
    write_all(fd_, bytes, path_);
    // mkstemp creates the file private to its owner.
    int error = fchmod(fd_, mode_for(folder_, target_name())) == 0 && fsync(fd_) == 0 ? 0 : errno;
    if (close(fd_) != 0 && error == 0)
        error = errno;
    fd_ = -1;
    if (error == 0 && renameat(folder_, temporary_name(), folder_, target_name().c_str()) != 0)
        error = errno;
    if (error != 0)
        unlinkat(folder_, temporary_name(), 0);
    remove_on_interrupt(-1, nullptr);
    if (error != 0)
        throw write_error(path_, error);
    // The renamed file's entry in its folder outlives a crash.
    if (fsync(folder_) != 0 && errno != EINVAL)
        throw write_error(path_, errno);
}

void check_writable(const std::string& path) {
    OutputFile probe(path);
}

void check_output_kind(const std::string& path) {
    const std::string target = link_target(path);
    if (descriptor_named(target) < 0)
        written_in_place(path, target);
}

bool remove_regular_file(const std::string& path) {
    const std::string target = link_target(path);
    struct stat st;
    if (lstat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (unlink(target.c_str()) == 0)
        return true;
    if (errno == ENOENT)
        return false;
    throw std::runtime_error("cannot remove " + path + ": " + std::strerror(errno));
}

void check_not_a_pipe(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)))
        throw std::runtime_error("cannot write " + path +
                                 ": a pipe, whose opening would wait for a reader");
}

namespace {

// Where the name of a file yet to be written leads.
std::filesystem::path place_of(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path whole = fs::absolute(link_target(path), error);
    const fs::path real = error ? whole : fs::weakly_canonical(whole, error);
    return error ? fs::path(path) : real;
}

} // namespace

FileSet::FileSet(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        struct stat st;
        const bool there = stat(path.c_str(), &st) == 0;
        files_.push_back({path, there, there ? st.st_dev : 0, there ? st.st_ino : 0,
                          there ? std::filesystem::path() : place_of(path)});
    }
}

const std::string* FileSet::find(const std::string& path) const {
    struct stat st;
    const bool there = stat(path.c_str(), &st) == 0;
    std::optional<std::filesystem::path> place; // worked out only when a name matches
    for (const File& file : files_) {
        if (there && file.there && file.device == st.st_dev && file.inode == st.st_ino)
            return &file.path;
        // One there and one not are two files; two not there, one when their
        // names lead to one place.
        if (there || file.there)
            continue;
        if (!place) {
            if (std::filesystem::path(link_target(path)).filename() != file.place.filename())
                continue;
            place = place_of(path);
        }
        if (*place == file.place)
            return &file.path;
    }
    return nullptr;
}

bool same_file(const std::string& a, const std::string& b) {
    return FileSet({b}).find(a) != nullptr;
}

void check_not_an_input(const std::string& out, const FileSet& inputs) {
    if (const std::string* input = inputs.find(out))
        throw std::runtime_error("cannot write " + out + ": it is the input " + *input +
                                 ", which it would replace");
}

void check_not_an_input(const std::string& out, const std::vector<std::string>& inputs) {
    check_not_an_input(out, FileSet(inputs));
}

} // namespace xr
