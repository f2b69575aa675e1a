// The one kind of error the program reports: what is wrong, and where. A place
// in a file is the file's name and a key within it (a JSON pointer such as
// "/assign/2/xray/power"); a place on the command line is the option that
// stated it ("--xray").
#pragma once

#include <stdexcept>
#include <string>

namespace xr {

struct Place {
    std::string file; // empty for the command line
    std::string key;  // a JSON pointer within the file, or the option

    // A line and column of a file's text, as compilers give them: "scene.json:3:7".
    static Place at_line(const std::string& file, size_t line, size_t column) {
        return {file + ":" + std::to_string(line) + ":" + std::to_string(column), ""};
    }

    // A key within this one: "/assign/2" then "/assign/2/parts". An option has
    // no keys within it and stays itself.
    Place operator/(const std::string& child) const {
        return file.empty() ? *this : Place{file, key + "/" + child};
    }
};

// "file: key: what", or "option: what".
class Error : public std::runtime_error {
  public:
    Error(const Place& where, const std::string& what)
        : std::runtime_error((where.file.empty() ? "" : where.file + ": ") +
                             (where.key.empty() ? "" : where.key + ": ") + what) {}
};

} // namespace xr
