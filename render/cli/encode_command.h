// xray-render encode PATTERN OUT: frames rendered elsewhere, a farm's say,
// joined into a video.
#pragma once

#include "render/cli/options.h"

#include <CLI/CLI.hpp>

namespace xr {

// Declares the sub-command and its options on `app`.
CLI::App* add_encode_command(CLI::App& app, EncodeOptions& options);

// Writes the video, whole or not at all, and says so on the standard output.
// Throws std::runtime_error naming a frame that is missing, of another size
// than the first, or unreadable, and for a pattern that matches no file.
void encode_command(const EncodeOptions& options);

} // namespace xr
