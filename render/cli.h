// The command line of xray-render.
#pragma once

#include "render/render_settings.h"
#include "render/xray_settings.h"

#include <optional>
#include <string>
#include <vector>

namespace xr {

struct Options {
    std::string scene; // a scene file; with no model either, the built-in scene
    std::string model; // a mesh file shown in the studio
    std::vector<std::string> xray; // globs of the parts that wear `material`
    XraySettings material;
    bool material_given = false; // any material option was given
    bool list_parts = false;
    bool verbose = false;
    // What the command line sets over the scene's own settings.
    std::optional<int> width, height, samples;
    std::optional<uint32_t> seed;
    int threads = 0;
    std::string out = "xray.png";
    std::string shader; // empty: the library beside the program
};

// The options, or no value when the program should exit with `exit_code`
// (after --help, or after reporting bad input on one line).
std::optional<Options> parse_command_line(int argc, char** argv, int& exit_code);

// "r,g,b" or "r,g,b,a", each a finite number; false for anything else.
bool parse_color(const std::string& text, ParamValue& color);

} // namespace xr
