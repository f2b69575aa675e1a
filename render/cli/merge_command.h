// xray-render merge TILE... OUT: the tiles of one frame, rendered with --tile
// or --region by separate processes, joined into the frame.
#pragma once

#include "render/cli/options.h"

#include <CLI/CLI.hpp>

namespace xr {

// Declares the sub-command and its arguments on `app`.
CLI::App* add_merge_command(CLI::App& app, MergeOptions& options);

// Writes the frame, whole or not at all, in the tiles' format, and says so on
// the standard output. Throws std::runtime_error naming the offending tile or
// file.
void merge_command(const MergeOptions& options);

} // namespace xr
