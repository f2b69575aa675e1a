// The ranges the render benchmarks hold their options to, stated once: an image
// of no pixels or a render of no samples gives NaN figures, not a result.
#pragma once

#include "render/render_settings.h"

#include <CLI/CLI.hpp>

#include <string>

// An image's side in pixels.
inline CLI::Option* add_side_option(CLI::App& app, const std::string& name, int& side,
                                    const std::string& description) {
    return app.add_option(name, side, description)
        ->capture_default_str()
        ->check(CLI::Range(1, 16384));
}

// Samples a pixel.
inline CLI::Option* add_samples_option(CLI::App& app, const std::string& name, int& samples,
                                       const std::string& description) {
    return app.add_option(name, samples, description)
        ->capture_default_str()
        ->check(CLI::Range(1, 4096));
}

// How many times something runs (repetitions, attempts): at least once, for a
// median or a best to be found.
inline CLI::Option* add_runs_option(CLI::App& app, const std::string& name, int& runs,
                                    const std::string& description) {
    return app.add_option(name, runs, description)
        ->capture_default_str()
        ->check(CLI::Range(1, 100));
}

// --width, --height, --spp and --threads of a render.
inline void add_render_options(CLI::App& app, xr::RenderSettings& render) {
    add_side_option(app, "--width", render.width, "image width");
    add_side_option(app, "--height", render.height, "image height");
    add_samples_option(app, "--spp", render.samples, "samples a pixel");
    app.add_option("--threads", render.threads, "threads, 0 for every core")
        ->capture_default_str()
        ->check(CLI::Range(0, 1024));
}
