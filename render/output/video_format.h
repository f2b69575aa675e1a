// The videos xray-render writes, known by the file's extension, and how the
// one quality setting maps onto each codec's constant-quality scale.
#pragma once

#include <array>
#include <string>

namespace xr {

struct VideoFormat {
    const char* extension; // in lower case: ".mp4"
    const char* muxer;     // libavformat's container
    const char* muxing;    // the container's options, "name=value:name=value"
    const char* codec;     // as people name it: "H.264"
    const char* encoder;   // libavcodec's encoder
    int worst_crf;         // the encoder's constant rate factor runs from 0, the best, to this
    int max_side;          // the encoder's widest width and tallest height, in pixels
    bool streams;          // written front to back, so into a pipe too
};

extern const std::array<VideoFormat, 3> video_formats;

// --quality runs from 0 to 100, the best.
constexpr int max_video_quality = 100;

// The frame rates every container written holds: Matroska and WebM time
// frames in whole milliseconds, so 1000 a second at most (faster frames would
// share a time); libavformat's MP4 muxer fails on frames of more than a few
// hours. The least is a frame every 1000 s, well within that.
constexpr float min_fps = 0.001f, max_fps = 1000.0f;

struct VideoSettings {
    double fps = 30.0; // from min_fps to max_fps
    int quality = 65;  // H.264's CRF 18, VP9's 22
};

// The format of a video named so, whatever the case of its extension; null
// for an image. Throws std::runtime_error, naming the path, for a container
// this program does not write (.avi, .mov, .gif, ...).
const VideoFormat* video_format_for(const std::string& path);

// The names videos take, or those that stream, for messages and help:
// "NAME.mp4 (H.264), NAME.webm (VP9) or NAME.mkv (H.264)".
std::string video_names(bool streaming_only = false);

// Each codec's constant rate factors from the worst quality to the best, for
// help: "H.264's CRF 51 to 0, VP9's CRF 63 to 0".
std::string crf_scales();

// The encoder's constant rate factor for a quality from 0 to 100: the
// codec's scale in equal steps, 100 giving 0.
int video_crf(const VideoFormat& format, int quality);

// Throws std::runtime_error, in a line that starts with `what`, unless frames
// of that size can be encoded: in 4:2:0, a chroma sample covers two pixels
// each way, so both sides must be even; neither beyond the encoder's
// max_side, nor the frame beyond what libavcodec opens an encoder for. Also
// when the encoder is missing from this build of libavcodec.
void check_video_frame(const VideoFormat& format, int width, int height, const std::string& what);

// Throws std::runtime_error, in a line that starts with `what`, unless the
// format can be written front to back, as into a pipe or a device, which
// cannot go back over what they were given.
void check_video_streams(const VideoFormat& format, const std::string& what);

} // namespace xr
