// A file's text a byte at a time, read a block at a time, for checks that
// pass once through a model file before its importer reads it.
#pragma once

#include "render/util/regular_file.h"

#include <cstdint>
#include <string>
#include <vector>

namespace xr {

// The importers read text up to its first NUL byte, and so does this.
class ByteStream {
  public:
    explicit ByteStream(const RegularFile& file) : file_(file), block_(1 << 16) {}

    // The next byte, or -1 at the end of the text.
    int get() {
        if (at_ == size_) {
            size_ = ended_ ? 0 : file_.read_into(block_.data(), block_.size());
            at_ = 0;
        }
        if (at_ == size_ || block_[at_] == 0) {
            ended_ = true;
            size_ = at_ = 0;
            return -1;
        }
        return block_[at_++];
    }

    // Reads through the first `end`.
    void skip_past(const char* end);

  private:
    const RegularFile& file_;
    std::vector<uint8_t> block_;
    size_t at_ = 0, size_ = 0;
    bool ended_ = false;
};

} // namespace xr
