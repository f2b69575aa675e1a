// A file that appears whole or not at all: written beside its final name,
// synced, and renamed into place, so a failed run or a crash never leaves a
// partial image; a file it replaces keeps its permissions. A symlink is
// written through, to the file it leads to; a character device or a FIFO
// (/dev/null, a named pipe) is written straight into, never replaced; one of
// the process's descriptors (/dev/stdout, /dev/fd/3) is written into as it
// is, never reopened, so that a pipe takes the data and a file opened to be
// appended to is appended to. Any other kind of file is refused.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
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
    // empty for a device, a FIFO or a descriptor, which are written straight
    // into, through stream().
    const std::string& temporary_path() const { return temporary_; }

    // Where to write straight into when there is no temporary file: the
    // descriptor, or the device or FIFO, opened now (a FIFO's open waits for
    // its reader). commit({}) then closes what was opened. Throws.
    int stream();

  private:
    std::string path_;      // as given, for messages
    std::string target_;    // where its symlinks lead
    std::string temporary_; // none for a device, a FIFO or a descriptor
    int fd_ = -1;           // the temporary file's
    int stream_ = -1;       // the descriptor, or the device or FIFO once opened
    bool opened_ = false;   // stream_ was opened here, to be closed here
};

// Throws what an OutputFile at `path` would, so that a path that cannot be
// written fails before any work is done; leaves nothing behind.
void check_writable(const std::string& path);

// Whether the two paths lead to one file, through symlinks and hard links
// alike; for a file yet to be written, whether they name one place.
bool same_file(const std::string& a, const std::string& b);

// Throws when the file at `path`, through its symlinks, is a FIFO or a
// socket, whose opening for writing waits for a reader: for a writer that
// must not wait (a server's worker). Devices such as /dev/null are taken.
void check_not_a_pipe(const std::string& path);

// The files a command reads, known by device and inode, so that outputs by
// the thousand (a turntable's frames) are checked against them at a look each.
class InputFiles {
  public:
    explicit InputFiles(const std::vector<std::string>& paths);
    // Throws, naming both, when `out` is one of the files (the same file, also
    // through symlinks or hard links), which writing it would replace, as
    // `cp a a` is refused.
    void check_not_one(const std::string& out) const;

  private:
    struct File {
        std::string path;
        dev_t device;
        ino_t inode;
    };
    std::vector<File> files_; // those there: a file not there is replaced by none
};

// InputFiles(inputs).check_not_one(out), for one output.
void check_not_an_input(const std::string& out, const std::vector<std::string>& inputs);

} // namespace xr
