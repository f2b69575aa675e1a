// xray-render compare A B: whether two images agree, as an image test.
#pragma once

#include "render/cli/options.h"

#include <CLI/CLI.hpp>

namespace xr {

// Declares the sub-command and its options on `app`.
CLI::App* add_compare_command(CLI::App& app, CompareOptions& options);

// Compares the images and prints a summary on the standard output; true when
// they agree within the limits. Throws std::runtime_error when an image
// cannot be read or the heat map written.
bool compare(const CompareOptions& options);

} // namespace xr
