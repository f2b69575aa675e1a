// A file that appears whole or not at all: written beside its final name,
// synced, and renamed into place, so a failed run or a crash never leaves a
// partial image; a file it replaces keeps its permissions. The folder is held
// open from the start: moved meanwhile, it still gets the file, and keeps no
// temporary one. A symlink is
// written through, to the file it leads to; a character device or a FIFO
// (/dev/null, a named pipe) is written straight into, never replaced; one of
// the process's descriptors (/dev/stdout, /dev/fd/3) is written into as it
// is, never reopened, so that a pipe takes the data and a file opened to be
// appended to is appended to. Any other kind of file is refused.
#pragma once

#include <cstdint>
#include <filesystem>
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
    const char* temporary_name() const;
    std::string target_name() const;

    std::string path_;      // as given, for messages
    std::string target_;    // where its symlinks lead
    std::string temporary_; // none for a device, a FIFO or a descriptor
    int folder_ = -1;       // the temporary file's, open
    int fd_ = -1;           // the temporary file's
    int stream_ = -1;       // the descriptor, or the device or FIFO once opened
    bool opened_ = false;   // stream_ was opened here, to be closed here
};

// Throws what an OutputFile at `path` would, so that a path that cannot be
// written fails before any work is done; leaves nothing behind.
void check_writable(const std::string& path);

// Throws what an OutputFile at `path` would for the file there (a folder, a
// socket) or its name, making nothing: a look cheap enough for every frame.
void check_output_kind(const std::string& path);

// Removes the regular file at `path`, through its symlinks, where an output
// was asked for and none is made (compare's heat map of images of different
// sizes), so that an earlier run's cannot pass for it; anything else there
// stays. Whether a file was removed. Throws std::runtime_error when it cannot be.
bool remove_regular_file(const std::string& path);

// Throws when the file at `path`, through its symlinks, is a FIFO or a
// socket, whose opening for writing waits for a reader: for a writer that
// must not wait (a server's worker). Devices such as /dev/null are taken.
void check_not_a_pipe(const std::string& path);

// Files known once: by device and inode where they are there, by the place
// their names lead to where they are yet to be written; so that outputs by
// the thousand (a turntable's frames) are checked against them at a look each.
class FileSet {
  public:
    explicit FileSet(const std::vector<std::string>& paths);
    // The one of them that `path` leads to, through symlinks and hard links
    // alike; null when none does.
    const std::string* find(const std::string& path) const;

  private:
    struct File {
        std::string path;
        bool there;
        dev_t device;
        ino_t inode;
        std::filesystem::path place; // where its name leads, for one not there
    };
    std::vector<File> files_;
};

// Whether the two paths lead to one file (FileSet).
bool same_file(const std::string& a, const std::string& b);

// Throws, naming both, when `out` is one of `inputs`, which writing it would
// replace, as `cp a a` is refused.
void check_not_an_input(const std::string& out, const FileSet& inputs);
void check_not_an_input(const std::string& out, const std::vector<std::string>& inputs);

} // namespace xr
