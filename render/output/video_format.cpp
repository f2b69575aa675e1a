#include "render/output/video_format.h"

#include "render/output/libav.h"
#include "render/util/text.h"

#include <cmath>
#include <stdexcept>

namespace xr {

// Matroska holds H.264 too; it is what browsers and editors play most widely.
const std::array<VideoFormat, 3> video_formats = {{
    {".mp4", "mp4", "H.264", "libx264", 51},
    {".webm", "webm", "VP9", "libvpx-vp9", 63},
    {".mkv", "matroska", "H.264", "libx264", 51},
}};

const VideoFormat* video_format_for(const std::string& path) {
    const std::string extension = "." + lowercase_extension(path);
    for (const VideoFormat& format : video_formats)
        if (extension == format.extension)
            return &format;
    // The images this program writes need no asking, and no video library loaded.
    if (extension == "." || extension == ".png" || extension == ".exr")
        return nullptr;
    // libavformat knows the other containers; its image muxer, which writes
    // no file of its own, stands for the images.
    const AVOutputFormat* muxer = libav().av_guess_format(nullptr, path.c_str(), nullptr);
    if (muxer && muxer->video_codec != AV_CODEC_ID_NONE && !(muxer->flags & AVFMT_NOFILE)) {
        std::string known;
        for (const VideoFormat& format : video_formats)
            known += std::string(known.empty() ? "" : ", ") + format.extension + " (" +
                     format.codec + ")";
        throw std::runtime_error(std::string("xray-render does not write ") + muxer->name +
                                 " videos; it writes " + known);
    }
    return nullptr;
}

int video_crf(const VideoFormat& format, int quality) {
    return int(std::lround(double(format.worst_crf) * double(max_video_quality - quality) /
                           double(max_video_quality)));
}

void check_video_frame(const VideoFormat& format, int width, int height, const std::string& what) {
    if (width % 2 || height % 2)
        throw std::runtime_error(what +
                                 ": a video's frames need an even width and height (4:2:0 "
                                 "colour), and these are " +
                                 std::to_string(width) + "x" + std::to_string(height));
    if (!libav().avcodec_find_encoder_by_name(format.encoder))
        throw std::runtime_error(what + ": this build of libavcodec has no " + format.codec +
                                 " encoder (" + format.encoder + ")");
}

} // namespace xr
