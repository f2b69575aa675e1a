// What a run writes: one image, or a range of a turntable's frames, each to a
// file of its own in the format its name asks for.
#pragma once

#include "render/image/image_file.h"
#include "render/image/passes.h"
#include "render/output/frame_sequence.h"
#include "render/output/video_format.h"
#include "render/render_settings.h"

#include <optional>
#include <string>
#include <vector>

namespace xr {

// What the user asks to be written.
struct OutputRequest {
    std::string out = "xray.png"; // for a sequence, a pattern: name_####.png
    std::optional<FrameRange> frames;
    std::vector<Pass> passes;   // only into OpenEXR
    bool skip_existing = false; // leave the files that exist: they are complete
    VideoSettings video;        // for NAME.mp4, .webm or .mkv
};

struct OutputPlan {
    ImageFormat format = ImageFormat::png;
    std::string out;   // the still's path, or the frames' pattern
    int turntable = 0; // frames of the whole turntable; 0 for a still
    FrameRange range;  // the frames to render; 1-1 for a still
    std::vector<Pass> passes;
    // Set when the frames go into one video rather than a file each.
    const VideoFormat* video = nullptr;
    VideoSettings video_settings;
    // For a tile, the tile_attribute text its file records (tile_text): a file
    // on disk that records another is of another render. Empty for a frame.
    std::string tile;

    bool sequence() const { return turntable > 0; }
    std::string path(int frame) const {
        return sequence() && !video ? frame_path(out, frame) : out;
    }
};

// The plan for the request and the scene's own turntable (0: none). Throws
// std::runtime_error in one line for a sequence without a run of hashes in its
// pattern, a still with one, or a range of frames beyond the turntable or
// without one, and for a video container this program does not write. A
// video's name with hashes, or one to be skipped when it exists, is refused
// with the options.
OutputPlan plan_output(const OutputRequest& request, int turntable);

// Throws std::runtime_error, in a line that starts with `path`, unless its
// name asks for an image in `format` (NAME.png or NAME.exr), not another
// format or a video: "`path`: `subject` is a PNG image: name it NAME.png".
void check_image_name(const std::string& path, ImageFormat format, const std::string& subject);

// Throws std::runtime_error, before any work starts, when a frame of these
// settings (a tile's window of it), with the plan's passes, and its encoded
// copy cannot fit in the memory available, or is too large for its format.
void check_frame_fits(const OutputPlan& plan, const RenderSettings& settings);

// The frames of the plan's range to render: all of them, or when existing
// files are to be skipped, those not yet done. A frame is done when its file
// is a whole image (whole_image_layout) of the settings' size (a tile's, its
// window's) holding the channels of the plan's passes, no more nor fewer,
// and recording the plan's tile text (none for a frame): a tile of another
// frame size, scene, settings or program version, or a tile where a frame is
// due, is rendered again.
std::vector<int> frames_to_render(const OutputPlan& plan, const RenderSettings& settings,
                                  bool skip_existing);

// Throws what writing the first or the last of `frames` would (check_writable),
// or what is at another's path would (check_output_kind: a folder there), so
// that a path that cannot be written fails before any of them is rendered;
// the last's name is the longest, and one past the file system's limit fails
// too. Nothing when there are no frames.
void check_frames_writable(const OutputPlan& plan, const std::vector<int>& frames);

} // namespace xr
