// The command line of xray-render.
#pragma once

#include "render/cli/options.h"

#include <optional>
#include <string>

namespace xr {

// The options, or no value when the program should exit with `exit_code`
// (after --help, or after reporting bad input on one line).
std::optional<Options> parse_command_line(int argc, char** argv, int& exit_code);

} // namespace xr
