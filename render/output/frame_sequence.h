// Sequences of frames, numbered from 1, written to files named by a pattern in
// which a run of hashes stands for the frame number: name_####.png.
#pragma once

#include <string>
#include <vector>

namespace xr {

struct FrameRange {
    int first = 1, last = 1;
};

// "A-B", or "A" for one frame: whole numbers, 1 <= A <= B. Throws
// std::runtime_error saying what is wrong.
FrameRange parse_frame_range(const std::string& text);

// Throws std::runtime_error unless the pattern holds exactly one run of
// hashes, in the file's name.
void check_frame_pattern(const std::string& pattern);

// The pattern with its run of hashes replaced by the frame number, padded with
// zeros to the run's length: frame 7 of name_####.png is name_0007.png.
std::string frame_path(const std::string& pattern, int frame);

// The numbers of the frames whose files exist, named as the pattern names
// them, in order. Throws std::runtime_error for a pattern check_frame_pattern
// refuses, or when its folder cannot be listed.
std::vector<int> frames_on_disk(const std::string& pattern);

// A name for the whole sequence: the pattern less its hashes and the
// separators around them, out/t_####.exr is out/t.exr, and frames/#.png is
// frames/sequence.png. A name without hashes is its own.
std::string sequence_name(const std::string& pattern);

} // namespace xr
