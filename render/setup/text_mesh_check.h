// What a PLY, OFF or STL file, mostly written as text, must hold before the
// importer reads it: the importer fills a PLY cut short with zeros, takes an
// STL cut short for a whole one, and reserves room for as many vertices and
// faces as a header counts before it reads one.
#pragma once

#include <string>

namespace xr {

// Throws std::runtime_error, in one line naming the file, for a PLY whose
// header has no end, for a PLY (known by its header) whose data holds fewer
// elements than its header counts (in binary: has fewer bytes than they take
// at least), for an OFF (known by its first word) whose counts are negative
// or more than its size can hold, and for an STL in text (known by its first
// word, "solid", and a size no binary one of its count has) whose last line is
// not its closing "endsolid". Other files pass.
void check_text_mesh_file(const std::string& path);

} // namespace xr
