// Films written as OpenEXR and read back, by OpenEXR itself and by the
// renderer's reader; PNG and EXR files read for comparison.
#include "tests/render/scratch_dir.h"

#include "render/exr_image.h"
#include "render/image_file.h"
#include "render/output_file.h"
#include "render/passes.h"
#include "render/srgb.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>
#include <half.h>

#include <cmath>
#include <map>

using namespace xr;

namespace {

// A 7x5 film whose every value tells where it is, with a depth, a normal and an id pass.
Film numbered_film() {
    Film film(7, 5);
    add_passes(film, parse_passes("id,depth,normal"));
    for (int y = 0; y < film.height(); ++y)
        for (int x = 0; x < film.width(); ++x) {
            const float v = float(y * 10 + x);
            film.beauty.at(x, y) = {v / 100.0f, v / 50.0f, 1.0f / 3.0f, 0.5f};
            const size_t i = size_t(y * film.width() + x);
            film.channels[0].values[i] = 1000.0f + v + 0.125f;      // Z: no half holds it
            film.channels[4].values[i] = float(70000 + y * 10 + x); // id: likewise
        }
    return film;
}

struct FileChannel {
    Imf::PixelType type;
    std::vector<float> values;
};

// Every channel of an EXR file as OpenEXR reads it.
std::map<std::string, FileChannel> read_with_openexr(const std::string& path,
                                                     Imf::Compression& compression) {
    Imf::InputFile file(path.c_str());
    compression = file.header().compression();
    const Imath::Box2i data = file.header().dataWindow();
    const int width = data.max.x - data.min.x + 1, height = data.max.y - data.min.y + 1;
    std::map<std::string, FileChannel> channels;
    Imf::FrameBuffer frame;
    for (auto c = file.header().channels().begin(); c != file.header().channels().end(); ++c) {
        FileChannel& channel = channels[c.name()];
        channel = {c.channel().type, std::vector<float>(size_t(width * height))};
        frame.insert(c.name(), Imf::Slice::Make(Imf::FLOAT, channel.values.data(), data,
                                                sizeof(float), sizeof(float) * size_t(width)));
    }
    file.setFrameBuffer(frame);
    file.readPixels(data.min.y, data.max.y);
    return channels;
}

class ImageFiles : public ScratchDir {};

} // namespace

TEST_F(ImageFiles, ExrHoldsHalfRgbaAndEachPassUnderItsNameAndPrecision) {
    const Film film = numbered_film();
    OutputFile(path("passes.exr")).commit(encode_exr(film));

    Imf::Compression compression;
    const auto channels = read_with_openexr(path("passes.exr"), compression);
    EXPECT_EQ(compression, Imf::ZIP_COMPRESSION);
    std::map<std::string, Imf::PixelType> types;
    for (const auto& [name, channel] : channels)
        types[name] = channel.type;
    const std::map<std::string, Imf::PixelType> expected = {
        {"A", Imf::HALF},    {"B", Imf::HALF},    {"G", Imf::HALF},
        {"N.x", Imf::FLOAT}, {"N.y", Imf::FLOAT}, {"N.z", Imf::FLOAT},
        {"R", Imf::HALF},    {"Z", Imf::FLOAT},   {"id", Imf::FLOAT}};
    EXPECT_EQ(types, expected);

    // A corner pixel and an inner one: rows and columns neither swapped nor flipped.
    for (const auto& [x, y] : {std::pair{6, 0}, std::pair{2, 3}}) {
        const size_t i = size_t(y * 7 + x);
        const Color& c = film.beauty.at(x, y);
        EXPECT_EQ(channels.at("R").values[i], float(half(c.r))) << x << "," << y;
        EXPECT_EQ(channels.at("G").values[i], float(half(c.g)));
        EXPECT_EQ(channels.at("B").values[i], float(half(c.b)));
        EXPECT_EQ(channels.at("A").values[i], 0.5f);
        EXPECT_EQ(channels.at("Z").values[i], film.find("Z")->values[i]);
        EXPECT_EQ(channels.at("id").values[i], film.find("id")->values[i]);
    }

    // The renderer's reader gives back the same film, halves rounded.
    const ImageFile back = read_image(path("passes.exr"));
    EXPECT_EQ(back.format, ImageFormat::exr);
    ASSERT_EQ(back.film.channels.size(), film.channels.size());
    for (const FilmChannel& channel : film.channels) {
        const FilmChannel* read = back.film.find(channel.name);
        ASSERT_NE(read, nullptr) << channel.name;
        EXPECT_EQ(read->precision, channel.precision) << channel.name;
        EXPECT_EQ(read->values, channel.values) << channel.name;
    }
    EXPECT_EQ(back.film.beauty.at(2, 3).r, float(half(film.beauty.at(2, 3).r)));
}

TEST_F(ImageFiles, ExrDataWindowIsPlacedInTheDisplayWindowAndMissingAlphaIsOpaque) {
    // A 6x4 display window at (10, 20) whose data covers x 12..17 and y 21..22,
    // partly outside it.
    Imf::Header header(Imath::Box2i({10, 20}, {15, 23}), Imath::Box2i({12, 21}, {17, 22}));
    const char* names[] = {"R", "G", "B", "Z"};
    for (const char* name : names)
        header.channels().insert(name, Imf::Channel(Imf::FLOAT));
    std::vector<float> data(6 * 2 * 4);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = float(i);
    Imf::FrameBuffer frame;
    for (size_t c = 0; c < 4; ++c)
        frame.insert(names[c], Imf::Slice::Make(Imf::FLOAT, &data[c], header.dataWindow(),
                                                4 * sizeof(float), 6 * 4 * sizeof(float)));
    {
        Imf::OutputFile file(path("cropped.exr").c_str(), header);
        file.setFrameBuffer(frame);
        file.writePixels(2);
    }

    const Film film = read_image(path("cropped.exr")).film;
    ASSERT_EQ(film.width(), 6);
    ASSERT_EQ(film.height(), 4);
    const FilmChannel* z = film.find("Z");
    ASSERT_NE(z, nullptr);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool inside = x >= 2 && y >= 1 && y <= 2;
            // Data pixel (x - 2, y - 1) of its 6-wide rows, four channels each.
            const float first = inside ? float(((y - 1) * 6 + (x - 2)) * 4) : 0.0f;
            const Color& c = film.beauty.at(x, y);
            EXPECT_EQ(c.r, first) << x << "," << y;
            EXPECT_EQ(c.b, inside ? first + 2 : 0.0f) << x << "," << y;
            EXPECT_EQ(c.a, inside ? 1.0f : 0.0f) << x << "," << y;
            EXPECT_EQ(z->values[size_t(y * 6 + x)], inside ? first + 3 : 0.0f) << x << "," << y;
        }
}

TEST(Png, EverySrgbCodeDecodesAndEncodesBackToItself) {
    // What lets two PNGs compare exactly after a trip through linear light.
    for (int code = 0; code < 256; ++code)
        EXPECT_EQ(std::lround(srgb_encode(srgb_decode(float(code) / 255.0f)) * 255.0f), code);
}

TEST(Png, DecodesToLinearColourPremultipliedByAlpha) {
    // 16 bits a channel: (65535, 32768, 0, 65535) and (1, 0, 65535, 16384).
    const std::vector<uint8_t> deep = {
        0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48,
        0x44, 0x52, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x10, 0x06, 0x00, 0x00,
        0x00, 0xa4, 0xb2, 0xa3, 0xc9, 0x00, 0x00, 0x00, 0x17, 0x49, 0x44, 0x41, 0x54, 0x78,
        0x9c, 0x63, 0xf8, 0xff, 0xbf, 0x81, 0x81, 0x81, 0xe1, 0xff, 0x7f, 0x06, 0x46, 0x10,
        0xe9, 0xc0, 0x00, 0x00, 0x40, 0x5f, 0x06, 0xbc, 0x54, 0x84, 0xa6, 0x7f, 0x00, 0x00,
        0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
    const Image image = decode_png(deep);
    ASSERT_EQ(image.width, 2);
    const float quarter = 16384.0f / 65535.0f;
    const Color expected[] = {{1.0f, srgb_decode(32768.0f / 65535.0f), 0.0f, 1.0f},
                              {srgb_decode(1.0f / 65535.0f) * quarter, 0.0f, quarter, quarter}};
    for (int x = 0; x < 2; ++x) {
        const Color& c = image.at(x, 0);
        EXPECT_FLOAT_EQ(c.r, expected[x].r) << x;
        EXPECT_FLOAT_EQ(c.g, expected[x].g) << x;
        EXPECT_FLOAT_EQ(c.b, expected[x].b) << x;
        EXPECT_FLOAT_EQ(c.a, expected[x].a) << x;
    }

    // 8 bits: what encode_png writes, alpha below one included.
    Image half_covered(1, 1);
    half_covered.at(0, 0) = {0.2f, 0.0f, 1.0f, 0.5f};
    const Color c = decode_png(encode_png(half_covered)).at(0, 0);
    const float alpha = 128.0f / 255.0f;
    EXPECT_FLOAT_EQ(c.a, alpha);
    EXPECT_FLOAT_EQ(c.r, srgb_decode(float(encode_srgb(0.2f)) / 255.0f) * alpha);
    EXPECT_FLOAT_EQ(c.b, alpha);
}

TEST_F(ImageFiles, FormatIsKnownByContentAndBadFilesSayWhy) {
    Film film(3, 2);
    write("exr-named.png", encode_exr(film));
    EXPECT_EQ(read_image(path("exr-named.png")).format, ImageFormat::exr);

    const std::vector<uint8_t> exr = encode_exr(numbered_film());
    write("truncated.exr", {exr.begin(), exr.begin() + std::ptrdiff_t(exr.size() * 2 / 3)});
    const std::vector<uint8_t> png = encode_png(film.beauty);
    write("truncated.png", {png.begin(), png.begin() + 40});
    write("text.png", {'h', 'e', 'l', 'l', 'o'});
    const std::pair<std::string, std::string> cases[] = {
        {"missing.png", "No such file or directory"},
        {"", "Is a directory"},
        {"text.png", "neither a PNG nor an OpenEXR image"},
        {"truncated.png", "PNG"},
        {"truncated.exr", ""},
    };
    for (const auto& [name, reason] : cases) {
        const std::string file = path(name);
        try {
            read_image(file);
            ADD_FAILURE() << name << " was read";
        } catch (const std::runtime_error& e) {
            const std::string message = e.what();
            EXPECT_EQ(message.rfind("cannot read " + file + ": ", 0), 0u) << message;
            EXPECT_NE(message.find(reason), std::string::npos) << message;
            EXPECT_EQ(message.find('\n'), std::string::npos) << message;
        }
    }
}

TEST(Film, ChannelNamesAreUniqueAndNeverTheBeauty) {
    Film film(2, 2);
    add_passes(film, parse_passes("xray,depth,xray"));
    ASSERT_EQ(film.channels.size(), 2u);
    EXPECT_EQ(film.channels[0].name, "Z");
    EXPECT_EQ(film.channels[1].name, "xray.weight");
    for (const char* taken : {"Z", "A", ""})
        EXPECT_THROW(film.add_channel(taken, ChannelPrecision::half), std::invalid_argument)
            << taken;

    for (const char* bad : {"depth,normals", "depth,", ",depth", ""})
        try {
            parse_passes(bad);
            ADD_FAILURE() << bad;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find("pass"), std::string::npos) << e.what();
        }
    try {
        parse_passes("depth,normals");
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "unknown pass 'normals' (known: depth, normal, albedo, xray, id)");
    }
}
