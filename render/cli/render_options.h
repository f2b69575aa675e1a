// The options of a render, on the program's parser itself: `serve` takes them
// too. Declared together, then read and checked once the line is parsed.
#pragma once

#include "render/cli/material_options.h"
#include "render/cli/options.h"

#include <CLI/CLI.hpp>

namespace xr {

class RenderOptionParser {
  public:
    // Declares the options on `app`; `options` receives what they give.
    RenderOptionParser(CLI::App& app, RenderOptions& options);
    RenderOptionParser(const RenderOptionParser&) = delete;
    RenderOptionParser& operator=(const RenderOptionParser&) = delete;

    // The options serve does not take: listing the parts, leaving frames
    // that are done (a Render writes its file whole each time), and cutting
    // a frame into tiles.
    std::vector<CLI::Option*> not_served() const {
        return {list_parts_, skip_existing_, region_, tile_};
    }
    // Whether any of them was given.
    bool given() const;
    // Reads and checks what was parsed; throws CLI::ValidationError.
    void read();

  private:
    void read_video_and_tiles();

    CLI::App& app_;
    RenderOptions& o_;
    // Parsed as text or into a stand-in, then checked and moved into `o_`.
    RenderSettings settings_;
    CLI::Option *width_, *height_, *samples_, *seed_, *list_parts_, *skip_existing_;
    std::string background_text_, frames_text_, tessellation_text_;
    CLI::Option *background_, *turntable_, *frames_, *tessellation_;
    bool adaptive_flag_ = false, floor_flag_ = true;
    CLI::Option *adaptive_, *noise_, *min_samples_, *floor_;
    int turntable_frames_ = 0;
    std::vector<std::string> aov_;
    MaterialOptions material_;
    std::string region_text_, tile_text_;
    CLI::Option *fps_, *quality_, *region_, *tile_;
};

} // namespace xr
