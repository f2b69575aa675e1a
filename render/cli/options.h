// What the command line asks of each sub-command.
#pragma once

#include "render/output/output_plan.h"
#include "render/output/tile.h"
#include "render/setup/scene_description.h"

#include <optional>
#include <string>
#include <vector>

namespace xr {

// A render: the scene, what the command line sets over it, and what is
// written. `serve` takes the same.
struct RenderOptions {
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
    std::optional<bool> adaptive;
    std::optional<float> noise;
    std::optional<int> min_samples;
    std::optional<Background> background;
    std::optional<bool> floor;
    std::optional<int> turntable;             // frames
    std::optional<Tessellation> tessellation; // of every STEP model
    int threads = 0;
    std::string isa; // empty: the CPU's widest
    OutputRequest output;
    std::string shader; // empty: the library beside the program
    // Only a window of the frame, given as such or as a band.
    std::optional<PixelRegion> region;
    std::optional<TileBand> tile;
};

// `serve`: where the preview server listens, and where its Save writes the scene.
struct ServeOptions {
    std::string bind = "127.0.0.1";
    int port = 8080;      // 0: any free port
    std::string save;     // empty: beside the image, as .json
    int connections = 64; // served at once; a thread each
};

// `merge TILE... OUT`: the tiles of one frame, and the frame to write.
struct MergeOptions {
    std::vector<std::string> tiles;
    std::string out;
};

// `encode PATTERN OUT`: frames rendered elsewhere, and the video to write.
struct EncodeOptions {
    std::string pattern; // hashes for the frame number: frames_####.png
    std::string out;
    VideoSettings video;
    std::optional<FrameRange> frames; // by default 1 to the last found
};

// `compare A B`: two images, and how far they may differ.
struct CompareOptions {
    std::string a, b;
    float fail = 0.0f;         // a pixel fails when a channel differs by more
    float fail_percent = 0.0f; // the comparison fails when more pixels than this share fail
    std::string diff;          // heat map to write, if any
};

} // namespace xr
