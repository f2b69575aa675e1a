// The command line of xray-render.
#pragma once

#include "render/renderer.h"
#include "render/xray_block.h"

#include <optional>
#include <string>

namespace xr {

struct Options {
    RenderSettings render;
    XraySettings material;
    std::string out = "xray.png";
    std::string obj;    // empty: the built-in scene
    std::string shader; // empty: the library beside the program
};

// The options, or no value when the program should exit with `exit_code`
// (after --help, or after reporting bad input on one line).
std::optional<Options> parse_command_line(int argc, char** argv, int& exit_code);

} // namespace xr
