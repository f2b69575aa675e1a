#include "render/output/video_writer.h"

#include "render/image/srgb.h"
#include "render/output/libav.h"
#include "render/util/text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>

namespace xr {

namespace {

// What the libraries last logged as an error. They print nothing themselves,
// so that an error stays one line, which then carries what they said.
std::mutex log_mutex;
std::string last_error_logged;

void keep_errors(void* object, int level, const char* format, va_list args) {
    if (level > AV_LOG_ERROR)
        return;
    char line[512];
    int print_prefix = 1;
    libav().av_log_format_line2(object, level, format, args, line, sizeof line, &print_prefix);
    const std::lock_guard<std::mutex> lock(log_mutex);
    last_error_logged = one_line(line);
}

void route_library_logs() {
    static std::once_flag once;
    std::call_once(once, [] { libav().av_log_set_callback(keep_errors); });
    const std::lock_guard<std::mutex> lock(log_mutex);
    last_error_logged.clear();
}

} // namespace

struct VideoWriter::Codec {
    AVFormatContext* container = nullptr;
    AVCodecContext* encoder = nullptr;
    AVStream* stream = nullptr;
    SwsContext* scaler = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;

    ~Codec() {
        libav().av_packet_free(&packet);
        libav().av_frame_free(&frame);
        libav().sws_freeContext(scaler);
        libav().avcodec_free_context(&encoder);
        if (container)
            libav().avio_closep(&container->pb);
        libav().avformat_free_context(container);
    }
};

namespace {

// Throws, naming the file and the step, when a library call failed.
int check(int result, const std::string& path, const char* step) {
    if (result >= 0)
        return result;
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    libav().av_strerror(result, text, sizeof text);
    std::string logged;
    {
        const std::lock_guard<std::mutex> lock(log_mutex);
        logged = last_error_logged;
    }
    throw std::runtime_error("cannot write " + path + ": " + step + ": " + text +
                             (logged.empty() ? "" : " (" + logged + ")"));
}

template <class T> T* check(T* made, const std::string& path, const char* step) {
    if (!made)
        check(AVERROR(ENOMEM), path, step);
    return made;
}

} // namespace

VideoWriter::VideoWriter(const std::string& path, const VideoFormat& format,
                         const VideoSettings& settings, int width, int height)
    : path_(path), format_(format), fps_(settings.fps), crf_(video_crf(format, settings.quality)),
      file_(path), codec_(std::make_unique<Codec>()),
      // libswscale's vector code reads a little past the last pixel.
      rgb_(size_t(width) * size_t(height) * 3 + AV_INPUT_BUFFER_PADDING_SIZE) {
    check_video_frame(format, width, height, path);
    // A device, a FIFO or a descriptor takes the container front to back,
    // through libavformat's pipe protocol, which never seeks.
    const bool streamed = file_.temporary_path().empty();
    if (streamed)
        check_video_streams(format, "cannot write " + path);
    // libavformat takes a URL: "file:" keeps a name such as 12:30.mp4, or one
    // in a folder named pipe:1, from reading as another protocol's.
    const std::string url =
        streamed ? "pipe:" + std::to_string(file_.stream()) : "file:" + file_.temporary_path();
    route_library_logs();
    Codec& c = *codec_;
    // The muxer names the hidden file: an MP4's index is moved to its front
    // by reading the file again.
    check(libav().avformat_alloc_output_context2(&c.container, nullptr, format.muxer, url.c_str()),
          path, "choosing the container");
    const AVCodec* encoder = libav().avcodec_find_encoder_by_name(format.encoder);
    c.stream =
        check(libav().avformat_new_stream(c.container, nullptr), path, "adding the video stream");
    c.encoder = check(libav().avcodec_alloc_context3(encoder), path, "allocating the encoder");

    const AVRational rate = libav().av_d2q(settings.fps, 1 << 20);
    AVCodecContext& e = *c.encoder;
    e.width = width;
    e.height = height;
    e.framerate = rate;
    e.time_base = av_inv_q(rate);
    e.pix_fmt = AV_PIX_FMT_YUV420P;
    e.color_primaries = AVCOL_PRI_BT709;
    e.color_trc = AVCOL_TRC_BT709;
    e.colorspace = AVCOL_SPC_BT709;
    e.color_range = AVCOL_RANGE_MPEG;
    e.bit_rate = 0; // constant quality: VP9 takes the CRF as a cap otherwise
    if (c.container->oformat->flags & AVFMT_GLOBALHEADER)
        e.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    libav().av_dict_set_int(&options, "crf", crf_, 0);
    if (std::strcmp(format.encoder, "libvpx-vp9") == 0) {
        // Rows of tiles in parallel, at libvpx's usual speed for good quality.
        libav().av_dict_set(&options, "row-mt", "1", 0);
        libav().av_dict_set(&options, "deadline", "good", 0);
        libav().av_dict_set(&options, "cpu-used", "2", 0);
    }
    const int opened = libav().avcodec_open2(c.encoder, encoder, &options);
    const bool all_taken = libav().av_dict_count(options) == 0;
    libav().av_dict_free(&options);
    check(opened, path, "opening the encoder");
    if (!all_taken)
        check(AVERROR(EINVAL), path, "setting the encoder's quality");
    check(libav().avcodec_parameters_from_context(c.stream->codecpar, c.encoder), path,
          "describing the stream");
    c.stream->time_base = e.time_base;
    c.stream->avg_frame_rate = rate;

    check(libav().avio_open(&c.container->pb, url.c_str(), AVIO_FLAG_WRITE), path,
          "opening the file");
    AVDictionary* muxing = nullptr;
    int header = libav().av_dict_parse_string(&muxing, format.muxing, "=", ":", 0);
    if (header >= 0)
        header = libav().avformat_write_header(c.container, &muxing);
    const bool muxing_taken = libav().av_dict_count(muxing) == 0;
    libav().av_dict_free(&muxing);
    check(header, path, "writing the header");
    if (!muxing_taken)
        check(AVERROR(EINVAL), path, "setting the container's options");

    // sRGB-encoded RGB, full range, into BT.709 YCbCr in limited range.
    c.scaler = check(libav().sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height,
                                            AV_PIX_FMT_YUV420P, SWS_BICUBIC | SWS_ACCURATE_RND,
                                            nullptr, nullptr, nullptr),
                     path, "converting colour");
    const int* bt709 = libav().sws_getCoefficients(SWS_CS_ITU709);
    check(libav().sws_setColorspaceDetails(c.scaler, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16), path,
          "converting colour to BT.709");
    c.frame = check(libav().av_frame_alloc(), path, "allocating a frame");
    c.frame->format = e.pix_fmt;
    c.frame->width = width;
    c.frame->height = height;
    c.frame->color_primaries = e.color_primaries;
    c.frame->color_trc = e.color_trc;
    c.frame->colorspace = e.colorspace;
    c.frame->color_range = e.color_range;
    check(libav().av_frame_get_buffer(c.frame, 0), path, "allocating a frame");
    c.packet = check(libav().av_packet_alloc(), path, "allocating a packet");
}

VideoWriter::~VideoWriter() = default;

void VideoWriter::add(const Image& image) {
    Codec& c = *codec_;
    if (image.width != c.encoder->width || image.height != c.encoder->height)
        throw std::invalid_argument("a frame of another size for " + path_);
    uint8_t* rgb = rgb_.data();
    for (const Color& p : image.pixels) {
        *rgb++ = srgb_encode_8bit(p.r);
        *rgb++ = srgb_encode_8bit(p.g);
        *rgb++ = srgb_encode_8bit(p.b);
    }
    check(libav().av_frame_make_writable(c.frame), path_, "allocating a frame");
    const uint8_t* const planes[] = {rgb_.data()};
    const int strides[] = {3 * image.width};
    libav().sws_scale(c.scaler, planes, strides, 0, image.height, c.frame->data, c.frame->linesize);
    c.frame->pts = frames_++;
    send(false);
}

void VideoWriter::send(bool last) {
    Codec& c = *codec_;
    check(libav().avcodec_send_frame(c.encoder, last ? nullptr : c.frame), path_,
          "encoding a frame");
    for (;;) {
        const int got = libav().avcodec_receive_packet(c.encoder, c.packet);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return;
        check(got, path_, "encoding a frame");
        // Every frame lasts one tick of the frame rate, the last one too.
        if (c.packet->duration == 0)
            c.packet->duration = 1;
        libav().av_packet_rescale_ts(c.packet, c.encoder->time_base, c.stream->time_base);
        c.packet->stream_index = c.stream->index;
        check(libav().av_interleaved_write_frame(c.container, c.packet), path_, "writing a frame");
    }
}

void VideoWriter::finish() {
    Codec& c = *codec_;
    send(true);
    check(libav().av_write_trailer(c.container), path_, "finishing the container");
    check(libav().avio_closep(&c.container->pb), path_, "closing the file");
    file_.commit({});
}

std::string VideoWriter::summary() const {
    char text[160];
    std::snprintf(text, sizeof text, ": %s at %g fps, %.2f s of %s, CRF %d",
                  count_text(size_t(frames_), "frame").c_str(), fps_, double(frames_) / fps_,
                  format_.codec, crf_);
    return printable(path_) + text;
}

} // namespace xr
