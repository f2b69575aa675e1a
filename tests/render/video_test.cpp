// Videos as players see them, decoded through libavcodec: their colours
// against BT.709's equations.
#include "tests/render/scratch_dir.h"
#include "tests/render/video_decoder.h"

#include "render/image/srgb.h"
#include "render/output/video_writer.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

#include <algorithm>
#include <iterator>

using namespace xr;

namespace {

class Videos : public ScratchDir {};

const VideoFormat& format_of(const std::string& extension) {
    return *video_format_for("video" + extension);
}

} // namespace

// Flat frames of known colours, encoded at the best quality: the planes hold
// BT.709's Y'CbCr of the sRGB-encoded colour, in limited range (16 to 235, and
// 240 for chroma), and the stream says so.
TEST_F(Videos, ColoursAreBt709InLimitedRangeAndTaggedSo) {
    const Color colours[] = {
        {1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1},
        {1, 1, 1, 1}, {0, 0, 0, 1}, {srgb_decode(0.5f), srgb_decode(0.25f), srgb_decode(0.75f), 1}};
    for (const char* extension : {".mp4", ".webm"}) {
        const std::string name = std::string("flat") + extension;
        {
            VideoWriter video(path(name), format_of(extension), {30.0, max_video_quality}, 16, 16);
            for (const Color& c : colours) {
                Image frame(16, 16);
                std::fill(frame.pixels.begin(), frame.pixels.end(), c);
                video.add(frame);
            }
            video.finish();
        }
        const DecodedVideo v = decode_video(path(name));
        EXPECT_EQ(v.primaries, AVCOL_PRI_BT709) << name;
        EXPECT_EQ(v.transfer, AVCOL_TRC_BT709) << name;
        EXPECT_EQ(v.matrix, AVCOL_SPC_BT709) << name;
        EXPECT_EQ(v.range, AVCOL_RANGE_MPEG) << name;
        ASSERT_EQ(v.frames.size(), std::size(colours)) << name;
        for (size_t k = 0; k < std::size(colours); ++k) {
            const float r = srgb_encode(colours[k].r), g = srgb_encode(colours[k].g),
                        b = srgb_encode(colours[k].b);
            const float y = 0.2126f * r + 0.7152f * g + 0.0722f * b;
            const float cb = (b - y) / 1.8556f, cr = (r - y) / 1.5748f;
            const DecodedVideo::Frame& f = v.frames[k];
            EXPECT_NEAR(f.y[8 * 16 + 8], 16.0f + 219.0f * y, 1.5f) << name << " colour " << k;
            EXPECT_NEAR(f.cb[4 * 8 + 4], 128.0f + 224.0f * cb, 1.5f) << name << " colour " << k;
            EXPECT_NEAR(f.cr[4 * 8 + 4], 128.0f + 224.0f * cr, 1.5f) << name << " colour " << k;
        }
    }
}
