// What a model packed in a zip archive (a 3MF) must be before the importer
// reads it: the importer inflates each file it takes from the archive whole,
// to the size the archive states, and parses it from two more copies.
#pragma once

#include <cstdint>
#include <string>

namespace xr {

// The importer cannot take a file from an archive that inflates to this or
// more: it fails there, and on a 3MF's model stops the process.
constexpr uint64_t archived_file_limit = uint64_t(1) << 31;

// Throws std::runtime_error, in one line naming the file, for a zip archive
// (known by its first bytes) holding a file that states it inflates to
// archived_file_limit or more, or files that inflated and parsed would need
// more than the memory available. Other files pass, and so does an archive
// that cannot be read: the importer says why.
void check_archive_file(const std::string& path);

} // namespace xr
