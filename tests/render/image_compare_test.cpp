// Comparing images: the measures, the space they are taken in, and the
// command's verdict, exit status and heat map.
#include "tests/render/scratch_dir.h"

#include "render/image/exr_image.h"
#include "render/image/image_compare.h"
#include "render/image/png_image.h"
#include "render/image/srgb.h"

#include <cmath>
#include <sys/stat.h>

using namespace xr;

namespace {

// A 20x10 gradient.
Image gradient() {
    Image image(20, 10);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            image.at(x, y) = {float(x) / 19.0f, float(y) / 9.0f, 0.25f, 1.0f};
    return image;
}

// The exit statuses a script sees, as cmp and diff have them.
enum { compare_pass = 0, compare_fail = 1, compare_error = 2 };

class CompareCommand : public ScratchDir {
  protected:
    Outcome compare(std::vector<std::string> args) {
        args.insert(args.begin(), "compare");
        return run(args);
    }
};

} // namespace

TEST(ImageCompare, MeasuresTheLargestDifferenceWhereItIsAndThePixelsOverTheThreshold) {
    const Image a = gradient();
    Image b = a;
    b.at(3, 7).g += 0.01f;
    b.at(12, 2).a -= 0.25f;
    b.at(12, 2).r += 0.002f;
    const ImageDifference d = measure_difference(a, b, 0.005f, CompareSpace::linear);
    EXPECT_EQ(d.max, 0.25f);
    EXPECT_EQ(d.max_x, 12);
    EXPECT_EQ(d.max_y, 2);
    EXPECT_EQ(d.max_channel, 3);
    EXPECT_EQ(d.over, 2u); // the pixel whose worst channel is over counts once
    EXPECT_EQ(measure_difference(a, b, 0.01f, CompareSpace::linear).over, 1u);
    EXPECT_NEAR(d.mean, (0.01 + 0.25 + 0.002) / (4 * 200), 1e-7);
}

TEST(ImageCompare, PixelsGoneBadNeverPass) {
    Image a = gradient(), b = gradient();
    a.at(0, 0).r = b.at(0, 0).r = NAN;      // the same fault in both: equal
    a.at(1, 0).g = b.at(1, 0).g = INFINITY; // likewise
    b.at(2, 0).b = NAN;                     // a number against NaN
    b.at(3, 0).a = -INFINITY;
    b.at(4, 0).r = -INFINITY;
    b.at(5, 0).g = INFINITY;
    const ImageDifference d = measure_difference(a, b, 1e6f, CompareSpace::linear);
    EXPECT_EQ(d.over, 4u);
    EXPECT_EQ(d.max, INFINITY);
    // Compared as a PNG holds them, none may turn into a harmless 0 or 1.
    const Image da = in_space(a, ImageFormat::exr, CompareSpace::display),
                db = in_space(b, ImageFormat::exr, CompareSpace::display);
    EXPECT_EQ(measure_difference(da, db, 1e6f, CompareSpace::display).over, 4u);
}

TEST(ImageCompare, DisplaySpaceIsTheStraightSrgbAPngHolds) {
    Image image(3, 1);
    image.at(0, 0) = {0.25f, 0.1f, 0.0f, 0.5f};  // premultiplied
    image.at(1, 0) = {0.0f, 1.0f, 0.0f, 1e-40f}; // straight, 0 and 1e40: no NaN
    image.at(2, 0) = {1.0f, 2.0f, 1e30f, 1.0f};  // white, however bright, is 1
    const Image display = in_space(image, ImageFormat::exr, CompareSpace::display);
    const Color c = display.at(0, 0), faint = display.at(1, 0), white = display.at(2, 0);
    EXPECT_FLOAT_EQ(c.r, srgb_encode(0.5f));
    EXPECT_FLOAT_EQ(c.g, srgb_encode(0.2f));
    EXPECT_EQ(c.a, 0.5f);
    EXPECT_TRUE(faint.r == 0.0f && faint.g == 1.0f && faint.a == 1e-40f);
    EXPECT_TRUE(white.r == 1.0f && white.g == 1.0f && white.b == 1.0f);
}

TEST(ImageCompare, PngValuesAreTheirCodes) {
    // Every 16-bit code (an 8-bit code k is 257 k), as decode_png gives it:
    // linear, premultiplied by alpha, at full, half and the least coverage.
    Image png(65536, 1);
    for (const int alpha : {65535, 32768, 1}) {
        const float a = float(alpha) / 65535.0f;
        for (int code = 0; code < png.width; ++code) {
            const float v = float(code) / 65535.0f;
            png.at(code, 0) = {srgb_decode(v) * a, srgb_decode(v) * a, 0.0f, a};
        }
        const Image display = in_space(png, ImageFormat::png, CompareSpace::display);
        for (int code = 0; code < png.width; ++code)
            ASSERT_EQ(display.at(code, 0).r * 65535.0f, float(code)) << code << " " << alpha;
        EXPECT_EQ(display.at(0, 0).a, a);
    }
}

TEST_F(CompareCommand, VerdictAndExitStatusFollowTheLimits) {
    const Image a = gradient();
    Image near = a, far = a;
    for (int x = 0; x < 4; ++x) // 4 pixels, 2%, three 8-bit steps brighter
        near.at(x, 5).g = srgb_decode(srgb_encode(a.at(x, 5).g) + 3.0f / 255.0f);
    for (Color& c : far.pixels)
        c.r = 1.0f - c.r;
    Image low(255, 1), high(255, 1); // every 8-bit code, and the one above it
    for (int code = 0; code < 255; ++code) {
        low.at(code, 0) = {srgb_decode(float(code) / 255.0f), 0.0f, 0.0f, 1.0f};
        high.at(code, 0) = {srgb_decode(float(code + 1) / 255.0f), 0.0f, 0.0f, 1.0f};
    }
    write("a.png", encode_png(a));
    write("a.exr", encode_exr(Film(a)));
    write("near.png", encode_png(near));
    write("far.png", encode_png(far));
    write("low.png", encode_png(low));
    write("high.png", encode_png(high));

    const std::pair<std::vector<std::string>, int> cases[] = {
        {{"a.png", "a.png"}, compare_pass},
        {{"a.png", "near.png"}, compare_fail},
        {{"a.png", "near.png", "--fail", "0.02"}, compare_pass},
        {{"a.png", "near.png", "--fail", "0.005", "--fail-percent", "2"}, compare_pass},
        {{"a.png", "near.png", "--fail", "0.005", "--fail-percent", "1.9"}, compare_fail},
        // An EXR against its PNG: in display values, within half an 8-bit step.
        {{"a.exr", "a.png", "--fail", "0.002"}, compare_pass},
        {{"a.png", "far.png", "--fail", "0.1", "--fail-percent", "50"}, compare_fail},
        // PNGs differ by whole steps: exactly 1/255, not a float's rounding more.
        {{"low.png", "high.png", "--fail", "0.00392156862745098"}, compare_pass},
        {{"low.png", "high.png", "--fail", "0.0039215"}, compare_fail},
    };
    for (auto [args, status] : cases) {
        const std::string what = args[0] + " " + args[1] + " " + std::to_string(args.size());
        args[0] = path(args[0]), args[1] = path(args[1]);
        const Outcome r = compare(args);
        EXPECT_EQ(r.status, status) << what << "\n" << r.out << r.err;
        EXPECT_EQ(r.err, "") << what;
        const std::string verdict = status == compare_pass ? "\nPASS\n" : "\nFAIL\n";
        EXPECT_EQ(r.out.substr(r.out.size() - std::min(r.out.size(), verdict.size())), verdict)
            << what;
    }
    EXPECT_NE(compare({path("a.png"), path("near.png")}).out.find("4 pixels (2%)"),
              std::string::npos);
}

TEST_F(CompareCommand, HeatMapShowsWhereTheImagesDiffer) {
    const Image a = gradient();
    Image b = a;
    b.at(5, 5).b = 0.9f;
    b.at(6, 5).b = 0.3f;
    write("a.exr", encode_exr(Film(a)));
    write("b.exr", encode_exr(Film(b)));
    EXPECT_EQ(compare({path("a.exr"), path("b.exr"), "--diff", path("diff.png")}).status,
              compare_fail);

    const Image map = read_image(path("diff.png")).film.beauty;
    ASSERT_EQ(map.width, a.width);
    ASSERT_EQ(map.height, a.height);
    const Color hottest = map.at(5, 5), milder = map.at(6, 5), same = map.at(9, 9);
    EXPECT_GT(hottest.b, 0.9f);    // white at the largest difference
    EXPECT_GT(milder.r, milder.b); // a smaller one is warm, not white
    EXPECT_EQ(same.r, same.b);     // dim grey where they agree
    EXPECT_LT(same.g, 0.21f);
}

TEST_F(CompareCommand, BadInputIsAnErrorOnOneLineAndLeavesNoHeatMap) {
    write("a.png", encode_png(gradient()));
    write("small.png", encode_png(Image(4, 4)));
    const std::string a = path("a.png"), diff = path("diff.png");
    const std::vector<std::string> cases[] = {
        {a, path("missing.exr"), "--diff", diff},
        {a, "--diff", diff},
        {a, a, "--fail", "nan", "--diff", diff},
        {a, a, "--fail", "-1", "--diff", diff},
        {a, a, "--fail-percent", "101", "--diff", diff},
        {a, a, "--frobnicate", "--diff", diff},
        {a, a, "--diff", path("no/such/dir.png")},
        {a, a, "--diff", a},
        {a, a, "--diff", path("heat.exr")},
        {a, a, "--diff", path("heat.mp4")},
        // An empty name, a variable never set, is no option left out.
        {a, a, "--diff", ""},
        {"", a, "--diff", diff},
    };
    for (const std::vector<std::string>& args : cases) {
        const Outcome r = compare(args);
        EXPECT_EQ(r.status, compare_error) << args[1] << " " << args[2];
        EXPECT_EQ(r.err.rfind("xray-render compare: ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(listing(), (std::vector<std::string>{"a.png", "small.png"})) << r.err;
    }
    // Images of different sizes differ: a failed test, not bad input. Neither
    // leaves an earlier run's heat map to pass for its own; what is no regular
    // file stays.
    ASSERT_EQ(mkfifo(path("pipe.png").c_str(), 0600), 0);
    for (const std::string b : {"small.png", "missing.png"}) {
        write("diff.png", encode_png(gradient()));
        const Outcome r = compare({a, path(b), "--diff", diff});
        EXPECT_EQ(r.status, b == "small.png" ? compare_fail : compare_error) << r.err;
        EXPECT_EQ(r.out.find(" none (sizes differ), the old one removed\n") != std::string::npos,
                  b == "small.png");
        EXPECT_EQ(listing(), (std::vector<std::string>{"a.png", "pipe.png", "small.png"})) << b;
    }
    const Outcome r = compare({a, path("small.png"), "--diff", path("pipe.png")});
    EXPECT_NE(r.out.find("\n  heat map         none (sizes differ)\nFAIL\n"), std::string::npos);
    EXPECT_EQ(listing(), (std::vector<std::string>{"a.png", "pipe.png", "small.png"}));
}
