#include "render/output/video_format.h"

#include "render/output/libav.h"
#include "render/util/text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace xr {

// Matroska holds H.264 too; it is what browsers and editors play most widely.
// An MP4's index is written last, then moved to its front, so that it plays
// before it has all downloaded. Matroska draws its segment's and tracks' IDs
// at random, and names libavformat's version, unless written bit-exact: so
// the same frames make the same file. libx264 opens for no side beyond 16384
// pixels; libvpx, built with its usual size limit, fails on the first frame
// beyond that.
const std::array<VideoFormat, 3> video_formats = {{
    {".mp4", "mp4", "movflags=+faststart", "H.264", "libx264", 51, 16384, false},
    {".webm", "webm", "fflags=+bitexact", "VP9", "libvpx-vp9", 63, 16384, true},
    {".mkv", "matroska", "fflags=+bitexact", "H.264", "libx264", 51, 16384, true},
}};

std::string video_names(bool streaming_only) {
    std::string list, last;
    for (const VideoFormat& format : video_formats) {
        if (streaming_only && !format.streams)
            continue;
        if (!last.empty())
            list += (list.empty() ? "" : ", ") + last;
        last = std::string("NAME") + format.extension + " (" + format.codec + ")";
    }
    return list.empty() ? last : list + " or " + last;
}

std::string crf_scales() {
    std::string scales;
    for (size_t i = 0; i < video_formats.size(); ++i) {
        const VideoFormat& format = video_formats[i];
        const auto same_codec = [&](const VideoFormat& f) {
            return f.codec == std::string(format.codec);
        };
        if (std::any_of(video_formats.begin(), video_formats.begin() + i, same_codec))
            continue;
        scales += (scales.empty() ? "" : ", ") + std::string(format.codec) + "'s CRF " +
                  std::to_string(format.worst_crf) + " to 0";
    }
    return scales;
}

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
    if (muxer && muxer->video_codec != AV_CODEC_ID_NONE && !(muxer->flags & AVFMT_NOFILE))
        throw std::runtime_error(path + ": " + muxer->name + " videos are not written; name it " +
                                 video_names(false));
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
                                 size_text(width, height));
    if (std::max(width, height) > format.max_side)
        throw std::runtime_error(what + ": " + format.encoder + " encodes " + format.codec +
                                 " frames of " + std::to_string(format.max_side) +
                                 " pixels a side at most, and these are " +
                                 size_text(width, height));
    // libavcodec's own bound on any frame (av_image_check_size), which a
    // nearly square frame within max_side can pass.
    if ((int64_t(width) + 128) * (int64_t(height) + 128) >= int64_t(1) << 28)
        throw std::runtime_error(what + ": libavcodec encodes no frame of " +
                                 size_text(width, height) +
                                 ": (width + 128) x (height + 128) must be under 2^28");
    if (!libav().avcodec_find_encoder_by_name(format.encoder))
        throw std::runtime_error(what + ": this build of libavcodec has no " + format.codec +
                                 " encoder (" + format.encoder + ")");
}

void check_video_streams(const VideoFormat& format, const std::string& what) {
    if (!format.streams)
        throw std::runtime_error(what + ": a " + format.extension +
                                 " video is finished by going back over it, which a pipe or a "
                                 "device cannot be; these stream: " +
                                 video_names(true));
}

} // namespace xr
