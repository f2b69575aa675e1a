// The names a model file's parts get: their paths in the file, after the
// model's name, each unique.
#pragma once

#include "render/setup/part.h"

#include <string>
#include <vector>

namespace xr {

// The longest name a part may have: its model's name and its path in the file.
constexpr size_t max_part_name = 4096;

// The name a file gives what it leaves unnamed: its own, without its folder
// and extensions ("engine" for "parts/engine.v2.glb" and "parts/.engine.glb").
std::string file_stem(const std::string& path);

class PartNames {
  public:
    // `file` names the model in errors; `prefix` is the model's name, or empty.
    PartNames(std::string file, std::string prefix)
        : file_(std::move(file)), prefix_(std::move(prefix)) {}

    // Adds the next part, at `path` in the file. Throws std::runtime_error,
    // naming the file, for a name longer than max_part_name.
    void add(const std::string& path);

    // The parts' names in the order they were added: "prefix/path" as UTF-8
    // text; siblings that share a path become "path", "path#2" and so on,
    // skipping a name the file gives another part itself.
    std::vector<std::string> names() const;

  private:
    std::string file_, prefix_;
    std::vector<std::string> paths_;
};

// Names the parts, added to `names` in the same order.
void name_parts(std::vector<Part>& parts, const PartNames& names);

} // namespace xr
