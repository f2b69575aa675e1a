// What a model packed in a zip archive (a 3MF) must be before the importer
// reads it: the importer inflates its relationships and its model whole, to
// the sizes the archive states, and parses each from two more copies.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace xr {

// The importer cannot take a file from an archive that inflates to this or
// more: it fails there, and on a 3MF's model stopped the process.
constexpr uint64_t archived_file_limit = uint64_t(1) << 31;

// A name as the importer's zip reader takes it, for the files it lists and
// those it is asked for: backslashes as slashes, leading dots and slashes
// left out, and "folder/../" taken out; none where its own simplification
// would fail, and with it the whole import.
std::optional<std::string> archived_name(std::string name);

// Throws std::runtime_error, in one line naming the file, for a zip archive
// (found as the importer finds one: from its end) whose relationships
// (_rels/.rels) or model, the one they name, are said to inflate to
// archived_file_limit or more, or which with its thumbnails would need,
// inflated and parsed, more than the memory available; and for a 3MF whose
// model check_3mf_model refuses. Files go by their names as the importer's zip
// reader takes them. Other files pass, and so does an archive the importer
// cannot read or finds no model in: it says why.
//
// Gives whether the file is a 3MF whose model the importer will read: it
// then hands over the package's thumbnails as the scene's textures, freed
// (see let_go_of_freed_textures).
bool check_archive_file(const std::string& path);

} // namespace xr
