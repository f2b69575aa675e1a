// What a render and the server both do before their first pixel, in one
// place: the scene the options describe, its output planned and checked, the
// shader library and the scene's parts loaded. Whatever can be refused is
// refused here, before any work is done.
#pragma once

#include "render/cli/options.h"
#include "render/setup/part.h"
#include "render/shader_library.h"

#include <memory>
#include <string>
#include <vector>

namespace xr {

// The scene the options describe: a scene file, a model in the studio (the
// whole of it x-ray unless --xray names parts), or the built-in scene; with
// --xray assignments last and the command line's settings over the scene's,
// the window of a tile among them. Throws for a window beyond the frame, or
// of a turntable.
SceneDescription describe(const RenderOptions& options);

struct Preflight {
    SceneDescription description;
    OutputPlan plan;
    std::vector<int> frames; // of the plan's range, to render
    // Loaded only when there are frames to render.
    std::unique_ptr<ShaderLibrary> library;
    std::vector<Part> parts;
};

// Describes the scene and plans its output, for a tile with the text its
// file records (OutputPlan::tile); refuses a frame that would not fit in
// memory or into the video asked for, an output file that is the scene file,
// a model, the shader library or this program, one of `also_written` that is
// one of those but the scene file or is an output file, and an output file,
// or one of `also_written`, that cannot be written; then loads
// the library and the parts. With `skip_existing`, frames whose files exist,
// complete and of this render, are not rendered. Throws in one line; warns,
// on standard error, of adaptive sampling that can have no effect.
Preflight preflight(const RenderOptions& options, bool skip_existing,
                    const std::vector<std::string>& also_written = {});

} // namespace xr
