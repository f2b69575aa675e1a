// Videos read back as a player reads them, through libavformat and
// libavcodec: the container's account of them, and every frame converted to
// 8-bit sRGB as its colour tags say.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DecodedVideo {
    int width = 0, height = 0;
    double duration = 0.0; // seconds, as the container states it
    double fps = 0.0;
    // As the stream is tagged: libavutil's AVColorPrimaries, AVColorTransferCharacteristic,
    // AVColorSpace and AVColorRange.
    int primaries = 0, transfer = 0, matrix = 0, range = 0;
    struct Frame {
        std::vector<uint8_t> y, cb, cr; // the planes as decoded, 4:2:0
        std::vector<uint8_t> rgb;       // R, G, B a pixel, row by row
    };
    std::vector<Frame> frames;
};

// Throws std::runtime_error when the file cannot be read as a video.
DecodedVideo decode_video(const std::string& path);
