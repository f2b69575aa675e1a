// Videos as players see them: decoded through libavcodec, their frames against
// the PNGs of the same frames, their colours against BT.709's equations.
#include "tests/render/scratch_dir.h"
#include "tests/render/video_decoder.h"

#include "render/image/image_file.h"
#include "render/image/srgb.h"
#include "render/output/video_writer.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace xr;

namespace {

class Videos : public ScratchDir {
  protected:
    std::string bytes(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

const VideoFormat& format_of(const std::string& extension) {
    return *video_format_for("video" + extension);
}

// How far a decoded frame lies from the PNG of the same frame, in 8-bit steps.
struct Distance {
    double mean = 0.0; // over every channel of every pixel
    double far = 0.0;  // the share of channels more than 0.1 (26 steps) away
};

Distance distance(const DecodedVideo::Frame& frame, const std::string& png) {
    const Image image = read_image(png).film.beauty;
    Distance d;
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        const Color& c = image.pixels[i];
        const float expected[] = {c.r, c.g, c.b};
        for (size_t k = 0; k < 3; ++k) {
            const int step = std::abs(int(srgb_encode_8bit(expected[k])) - frame.rgb[3 * i + k]);
            d.mean += step;
            d.far += step > 26;
        }
    }
    d.mean /= double(image.pixels.size() * 3);
    d.far /= double(image.pixels.size() * 3);
    return d;
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

// A turntable written straight into a video, and its frames written as PNGs
// then encoded, hold those frames: as many, as long, and each close to its
// PNG. Made either way, the video is the same file, in each container.
TEST_F(Videos, TurntableVideosHoldTheFramesOfTheSequence) {
    const std::vector<std::string> turntable = {"--turntable", "6",  "--width", "96",
                                                "--height",    "60", "--spp",   "8"};
    auto render = [&](const std::string& out, std::vector<std::string> more = {}) {
        std::vector<std::string> args = turntable;
        args.insert(args.end(), {"--out", path(out)});
        args.insert(args.end(), more.begin(), more.end());
        return run(args);
    };
    ScratchDir::Outcome r = render("f_#.png");
    ASSERT_EQ(r.status, 0) << r.err;
    r = render("direct.mp4", {"--fps", "24"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("frame 6 of 6: " + path("direct.mp4") + ": 96x60, 8 spp"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(path("direct.mp4") + ": 6 frames at 24 fps, 0.25 s of H.264, CRF 18\n"),
              std::string::npos)
        << r.out;
    r = render("direct.webm", {"--fps", "24"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const std::string extension : {".mp4", ".webm"}) {
        r = run({"encode", path("f_#.png"), path("encoded" + extension), "--fps", "24"});
        ASSERT_EQ(r.status, 0) << extension << ": " << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(bytes("encoded" + extension) == bytes("direct" + extension))
            << "encoded" << extension << " differs from direct" << extension;
    }
    // Relative names that would read as URLs, a protocol's name before a colon,
    // name files all the same.
    for (const char* folder : {"file:videos", "pipe:1"})
        std::filesystem::create_directory(path(folder));
    for (const char* video : {"12:30.mp4", "file:videos/encoded.mp4", "pipe:1/encoded.mp4"}) {
        const std::string encode = "cd '" + dir + "' && " XRAY_RENDER " encode f_#.png '" + video +
                                   "' --fps 24 >/dev/null 2>&1";
        EXPECT_EQ(std::system(encode.c_str()), 0) << video;
        EXPECT_TRUE(bytes(video) == bytes("direct.mp4")) << video << " differs from direct.mp4";
    }
    // Into a descriptor, here standard output, a WebM streams front to back.
    ASSERT_EQ(symlink("/dev/stdout", path("stdout.webm").c_str()), 0);
    r = run({"encode", path("f_#.png"), path("stdout.webm"), "--fps", "24"}, path("piped.webm"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, path("stdout.webm") + ": 6 frames at 24 fps, 0.25 s of VP9, CRF 22\n");

    for (const char* video : {"direct.mp4", "encoded.webm", "piped.webm"}) {
        const DecodedVideo v = decode_video(path(video));
        EXPECT_EQ(v.width, 96) << video;
        EXPECT_EQ(v.height, 60) << video;
        if (video != std::string("piped.webm")) { // a stream's header goes before its end
            EXPECT_NEAR(v.duration, 0.25, 1e-3) << video;
        }
        EXPECT_NEAR(v.fps, 24.0, 1e-6) << video;
        ASSERT_EQ(v.frames.size(), 6u) << video;
        // Lossy and 4:2:0: a few steps on average in frames this small, more only
        // along colour edges.
        for (const auto& [frame, png] : {std::pair{0, "f_1.png"}, std::pair{5, "f_6.png"}}) {
            const Distance d = distance(v.frames[size_t(frame)], path(png));
            EXPECT_LT(d.mean, 5.0) << video << " against " << png;
            EXPECT_LT(d.far, 0.02) << video << " against " << png;
        }
    }
}
