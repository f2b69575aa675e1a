// What a run writes: one image, or a range of a turntable's frames, each to a
// file of its own in the format its name asks for.
#pragma once

#include "render/cli/options.h"
#include "render/image/image_file.h"
#include "render/output/frame_sequence.h"

#include <string>

namespace xr {

struct OutputPlan {
    ImageFormat format = ImageFormat::png;
    std::string out;   // the still's path, or the frames' pattern
    int turntable = 0; // frames of the whole turntable; 0 for a still
    FrameRange range;  // the frames to render; 1-1 for a still

    bool sequence() const { return turntable > 0; }
    std::string path(int frame) const { return sequence() ? frame_path(out, frame) : out; }
};

// The plan for the options and the scene's own turntable (0: none), which the
// options override. Throws std::runtime_error in one line for a sequence
// without a run of hashes in its pattern, a still with one, or a range of
// frames beyond the turntable or without one.
OutputPlan plan_output(const Options& options, int turntable);

} // namespace xr
