// xray-render serve: a web page for look development, with the x-ray
// material's controls beside a picture that refines while you watch.
#pragma once

#include "render/cli/options.h"

#include <CLI/CLI.hpp>

namespace xr {

// Declares the sub-command and its options on `app`; it takes the render's
// options, which `app` holds, too.
CLI::App* add_serve_command(CLI::App& app, ServeOptions& options);

// Serves the scene the options describe until the program is stopped. Throws
// std::runtime_error, before anything is served, for a scene that cannot be
// loaded, files that cannot be written or an address that cannot be bound.
void serve_command(const RenderOptions& render, const ServeOptions& serve);

} // namespace xr
