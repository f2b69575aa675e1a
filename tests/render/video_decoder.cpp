#include "tests/render/video_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <stdexcept>

namespace {

void check(int result, const std::string& what) {
    if (result < 0)
        throw std::runtime_error("cannot decode: " + what);
}

struct Decoder {
    AVFormatContext* container = nullptr;
    AVCodecContext* codec = nullptr;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    SwsContext* scaler = nullptr;
    ~Decoder() {
        sws_freeContext(scaler);
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&codec);
        avformat_close_input(&container);
    }
};

// The frame's planes, and its pixels converted with the matrix and range it is tagged with.
DecodedVideo::Frame convert(Decoder& d, const AVFrame& f) {
    DecodedVideo::Frame out;
    for (int plane = 0; plane < 3; ++plane) {
        const int w = plane ? (f.width + 1) / 2 : f.width,
                  h = plane ? (f.height + 1) / 2 : f.height;
        std::vector<uint8_t>& into = plane == 0 ? out.y : plane == 1 ? out.cb : out.cr;
        for (int y = 0; y < h; ++y)
            into.insert(into.end(), f.data[plane] + y * f.linesize[plane],
                        f.data[plane] + y * f.linesize[plane] + w);
    }
    if (!d.scaler) {
        d.scaler = sws_getContext(
            f.width, f.height, AVPixelFormat(f.format), f.width, f.height, AV_PIX_FMT_RGB24,
            SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
        const int* table = sws_getCoefficients(f.colorspace);
        sws_setColorspaceDetails(d.scaler, table, f.color_range == AVCOL_RANGE_JPEG, table, 1, 0,
                                 1 << 16, 1 << 16);
    }
    out.rgb.resize(size_t(f.width) * size_t(f.height) * 3 + 64);
    uint8_t* planes[] = {out.rgb.data()};
    const int strides[] = {3 * f.width};
    sws_scale(d.scaler, f.data, f.linesize, 0, f.height, planes, strides);
    out.rgb.resize(size_t(f.width) * size_t(f.height) * 3);
    return out;
}

} // namespace

DecodedVideo decode_video(const std::string& path) {
    Decoder d;
    check(avformat_open_input(&d.container, path.c_str(), nullptr, nullptr), "opening " + path);
    check(avformat_find_stream_info(d.container, nullptr), "reading " + path);
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(d.container, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    check(index, "finding the video stream");
    const AVStream& stream = *d.container->streams[index];
    d.codec = avcodec_alloc_context3(codec);
    check(avcodec_parameters_to_context(d.codec, stream.codecpar), "reading the stream");
    check(avcodec_open2(d.codec, codec, nullptr), "opening the decoder");

    DecodedVideo video;
    video.width = stream.codecpar->width;
    video.height = stream.codecpar->height;
    video.duration = double(d.container->duration) / AV_TIME_BASE;
    video.fps = av_q2d(stream.avg_frame_rate);
    video.primaries = stream.codecpar->color_primaries;
    video.transfer = stream.codecpar->color_trc;
    video.matrix = stream.codecpar->color_space;
    video.range = stream.codecpar->color_range;
    auto receive = [&] {
        while (avcodec_receive_frame(d.codec, d.frame) == 0)
            video.frames.push_back(convert(d, *d.frame));
    };
    while (av_read_frame(d.container, d.packet) >= 0) {
        if (d.packet->stream_index == index)
            check(avcodec_send_packet(d.codec, d.packet), "decoding");
        av_packet_unref(d.packet);
        receive();
    }
    check(avcodec_send_packet(d.codec, nullptr), "decoding");
    receive();
    return video;
}
