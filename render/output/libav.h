// FFmpeg's libraries that write videos, opened on first use rather than
// linked: with the libraries they need in turn they are over 150, and loading
// them took more time than anything else in the start of every xray-render,
// video or none (0.03 s without them, 0.2 s with).
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

// Each function the video writer calls, with the library that holds it.
#define XR_LIBAV_FUNCTIONS(X)                                                                      \
    X(avutil_library, av_d2q)                                                                      \
    X(avutil_library, av_dict_count)                                                               \
    X(avutil_library, av_dict_free)                                                                \
    X(avutil_library, av_dict_parse_string)                                                        \
    X(avutil_library, av_dict_set)                                                                 \
    X(avutil_library, av_dict_set_int)                                                             \
    X(avutil_library, av_frame_alloc)                                                              \
    X(avutil_library, av_frame_free)                                                               \
    X(avutil_library, av_frame_get_buffer)                                                         \
    X(avutil_library, av_frame_make_writable)                                                      \
    X(avutil_library, av_log_format_line2)                                                         \
    X(avutil_library, av_log_set_callback)                                                         \
    X(avutil_library, av_strerror)                                                                 \
    X(avcodec_library, av_packet_alloc)                                                            \
    X(avcodec_library, av_packet_free)                                                             \
    X(avcodec_library, av_packet_rescale_ts)                                                       \
    X(avcodec_library, avcodec_alloc_context3)                                                     \
    X(avcodec_library, avcodec_find_encoder_by_name)                                               \
    X(avcodec_library, avcodec_free_context)                                                       \
    X(avcodec_library, avcodec_open2)                                                              \
    X(avcodec_library, avcodec_parameters_from_context)                                            \
    X(avcodec_library, avcodec_receive_packet)                                                     \
    X(avcodec_library, avcodec_send_frame)                                                         \
    X(avformat_library, av_guess_format)                                                           \
    X(avformat_library, av_interleaved_write_frame)                                                \
    X(avformat_library, av_write_trailer)                                                          \
    X(avformat_library, avformat_alloc_output_context2)                                            \
    X(avformat_library, avformat_free_context)                                                     \
    X(avformat_library, avformat_new_stream)                                                       \
    X(avformat_library, avformat_write_header)                                                     \
    X(avformat_library, avio_closep)                                                               \
    X(avformat_library, avio_open)                                                                 \
    X(swscale_library, sws_freeContext)                                                            \
    X(swscale_library, sws_getCoefficients)                                                        \
    X(swscale_library, sws_getContext)                                                             \
    X(swscale_library, sws_scale)                                                                  \
    X(swscale_library, sws_setColorspaceDetails)

namespace xr {

struct Libav {
#define XR_LIBAV_POINTER(library, name) decltype(&::name) name;
    XR_LIBAV_FUNCTIONS(XR_LIBAV_POINTER)
#undef XR_LIBAV_POINTER
};

// The functions, from the libraries of the major versions this program was
// built with, opened by the first call. Throws std::runtime_error naming the
// library or function that is missing.
const Libav& libav();

} // namespace xr
