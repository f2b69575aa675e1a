// A video written frame by frame as the frames are made, through libavcodec
// and libavformat: each frame converted from linear light to sRGB, then to
// BT.709 4:2:0 in limited range with libswscale, and tagged so, so that
// players show it as the PNG of the same frame. Like an image, the file
// appears whole, once finished, or not at all; a pipe or a device takes a
// WebM or a Matroska video as it is made.
#pragma once

#include "render/image/image.h"
#include "render/output/output_file.h"
#include "render/output/video_format.h"

#include <memory>
#include <string>
#include <vector>

namespace xr {

class VideoWriter {
  public:
    // Opens the hidden file and the encoder; throws std::runtime_error
    // naming the path, for frames of a size the codec cannot take too.
    VideoWriter(const std::string& path, const VideoFormat& format, const VideoSettings& settings,
                int width, int height);
    // Drops the file unless `finish` succeeded.
    ~VideoWriter();
    VideoWriter(const VideoWriter&) = delete;
    VideoWriter& operator=(const VideoWriter&) = delete;

    // Encodes the next frame. A video holds no alpha: the premultiplied
    // colour is shown, which is the frame over black.
    void add(const Image& frame);
    // Encodes the frames held back, closes the container and puts the file
    // in place.
    void finish();

    // What was written: "motor.mp4: 60 frames at 30 fps, 2.00 s of H.264, CRF 18".
    std::string summary() const;

  private:
    struct Codec;
    void send(bool last);

    const std::string path_;
    const VideoFormat& format_;
    const double fps_;
    const int crf_;
    OutputFile file_; // outlives the encoder, which writes into it
    std::unique_ptr<Codec> codec_;
    std::vector<uint8_t> rgb_; // a frame in 8-bit sRGB, for libswscale
    int frames_ = 0;
};

} // namespace xr
