// What a PLY or STL file written as text must hold before the importer reads
// it: the importer fills a PLY cut short with zeros, and takes an STL cut
// short for a whole one.
#pragma once

#include <string>

namespace xr {

// Throws std::runtime_error, in one line naming the file, for a PLY whose
// header has no end, for a PLY in text (known by its header) whose data holds
// fewer elements than its header counts, and for an STL in text (known by its first word, "solid",
// and a size no binary one of its count has) whose last line is not its closing "endsolid". Other
// files pass. One pass through the file.
void check_text_mesh_file(const std::string& path);

} // namespace xr
