// The one kind of error the program reports: what is wrong, and where. A place
// in a file is the file's name and a key within it (a JSON pointer such as
// "/assign/2/xray/power"); a place on the command line is the option that
// stated it ("--xray").
#pragma once

#include "render/util/text.h"

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

    // A key within this one: "/assign/2" then "/assign/2/parts", with "~" and
    // "/" in the key escaped as "~0" and "~1". An option has no keys within
    // it and stays itself.
    Place operator/(const std::string& child) const {
        if (file.empty())
            return *this;
        std::string escaped;
        for (const char c : child)
            escaped += c == '~' ? "~0" : c == '/' ? "~1" : std::string(1, c);
        return {file, key + "/" + escaped};
    }
};

// "file: key: what", or "option: what"; a key from a file shown as printable
// text.
class Error : public std::runtime_error {
  public:
    Error(const Place& where, const std::string& what)
        : std::runtime_error((where.file.empty() ? "" : where.file + ": ") +
                             (where.key.empty() ? "" : printable(where.key) + ": ") + what) {}
};

} // namespace xr
