#include "render/cli/encode_command.h"

#include "render/cli/option_values.h"
#include "render/image/image_file.h"
#include "render/output/frame_sequence.h"
#include "render/output/output_file.h"
#include "render/output/video_writer.h"
#include "render/util/text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <stdexcept>

namespace xr {

namespace {

// The frames of the range, every one of which must be there. The range is
// checked against the frames found before any path is made, so that a range
// far beyond them costs no more than those there are.
std::vector<std::string> frame_files(const EncodeOptions& o) {
    std::vector<int> found;
    try {
        found = frames_on_disk(o.pattern);
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(o.pattern + ": " + e.what());
    }
    if (found.empty())
        throw std::runtime_error(o.pattern + ": no frames match it");
    const FrameRange range = o.frames.value_or(FrameRange{1, found.back()});
    const auto first = std::lower_bound(found.begin(), found.end(), range.first);
    const auto last = std::upper_bound(first, found.end(), range.last);
    const int64_t missing = int64_t{range.last} - range.first + 1 - (last - first);
    if (missing > 0) {
        // The first gap: where the frames found stop following on from the range's start.
        int gap = range.first;
        for (auto frame = first; frame != last && *frame == gap; ++frame)
            ++gap;
        throw std::runtime_error(
            frame_path(o.pattern, gap) + " is missing" +
            (missing > 1 ? ", and " + std::to_string(missing - 1) + " more" : std::string()) +
            " of frames " + std::to_string(range.first) + "-" + std::to_string(range.last));
    }
    std::vector<std::string> files;
    for (auto frame = first; frame != last; ++frame)
        files.push_back(frame_path(o.pattern, *frame));
    return files;
}

} // namespace

CLI::App* add_encode_command(CLI::App& app, EncodeOptions& o) {
    CLI::App* command = app.add_subcommand(
        "encode",
        "Joins frames rendered elsewhere (PNG or OpenEXR) into a video: " + video_names() + ".");
    command
        ->add_option("PATTERN", o.pattern,
                     "the frames, hashes standing for the frame number: frames_####.png")
        ->required()
        ->check(a_file_name());
    command->add_option("OUT", o.out, "the video to write")->required()->check(a_file_name());
    command->add_option("--fps", o.video.fps, "frames a second")
        ->capture_default_str()
        ->check(number_within(min_fps, max_fps));
    command->add_option("--quality", o.video.quality, "constant quality, 0 to 100 (best)")
        ->capture_default_str()
        ->check(whole_number_within(0, max_video_quality));
    command->add_option_function<std::string>(
        "--frames",
        [&o](const std::string& text) {
            try {
                o.frames = parse_frame_range(text);
            } catch (const std::runtime_error& e) {
                throw CLI::ValidationError("--frames " + text + ": " + e.what());
            }
        },
        "only frames A to B (A-B); by default 1 to the last there is");
    return command;
}

void encode_command(const EncodeOptions& o) {
    const VideoFormat* format = video_format_for(o.out);
    if (!format)
        throw std::runtime_error(o.out + ": not a video; name it " + video_names());
    const std::vector<std::string> files = frame_files(o);
    check_not_an_input(o.out, files);
    std::optional<VideoWriter> video;
    int width = 0, height = 0; // of the first frame, which all must have
    for (const std::string& file : files) {
        const Film frame = read_image(file, ImageChannels::beauty).film;
        if (!video) {
            width = frame.width(), height = frame.height();
            check_video_frame(*format, width, height, file);
            video.emplace(o.out, *format, o.video, width, height);
        } else if (frame.width() != width || frame.height() != height) {
            throw std::runtime_error(file + ": " + size_text(frame.width(), frame.height()) +
                                     ", and " + files.front() + " " + size_text(width, height));
        }
        video->add(frame.beauty);
    }
    video->finish();
    std::printf("%s\n", video->summary().c_str());
}

} // namespace xr
