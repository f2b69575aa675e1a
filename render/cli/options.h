// What the command line asks for, and the scene it describes.
#pragma once

#include "render/image/passes.h"
#include "render/output/frame_sequence.h"
#include "render/setup/scene_description.h"

#include <optional>
#include <string>
#include <vector>

namespace xr {

// What `xray-render serve` adds: where the preview server listens, and where
// its "Save" writes the scene.
struct ServeOptions {
    std::string bind = "127.0.0.1";
    int port = 8080;  // 0: any free port
    std::string save; // empty: beside the image, as .json
};

struct Options {
    std::string scene;             // a scene file; with no model either, the built-in scene
    std::string model;             // a mesh file shown in the studio
    std::vector<std::string> xray; // globs of the parts that wear `material`
    XraySettings material;
    bool material_given = false; // any material option was given
    bool list_parts = false;
    bool verbose = false;
    // What the command line sets over the scene's own settings.
    std::optional<int> width, height, samples;
    std::optional<uint32_t> seed;
    std::optional<Background> background;
    std::optional<int> turntable; // frames
    int threads = 0;
    std::string out = "xray.png"; // for a sequence, a pattern: name_####.png
    std::vector<Pass> passes;     // only into OpenEXR
    std::optional<FrameRange> frames;
    bool skip_existing = false;        // leave the files that exist: they are complete
    std::string shader;                // empty: the library beside the program
    std::optional<ServeOptions> serve; // serve the scene for live look development instead
};

// The scene the options describe: a scene file, a model in the studio (the
// whole of it x-ray unless --xray names parts), or the built-in scene; with
// --xray assignments last and the command line's settings over the scene's.
SceneDescription describe(const Options& options);

} // namespace xr
