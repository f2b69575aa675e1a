// Films written as OpenEXR and read back, by OpenEXR itself and by the
// renderer's reader; PNG and EXR files read for comparison.
#include "tests/render/scratch_dir.h"

#include "render/image/exr_image.h"
#include "render/image/image_file.h"
#include "render/image/passes.h"
#include "render/image/png_chunks.h"
#include "render/image/png_image.h"
#include "render/image/srgb.h"
#include "render/output/output_file.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfMultiPartOutputFile.h>
#include <ImfPartType.h>
#include <ImfOutputFile.h>
#include <half.h>

#include <cmath>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace xr;

namespace {

// A 7x5 film whose values tell where they are, with depth, normal and id passes.
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

class ImageFiles : public ScratchDir {};

} // namespace

TEST_F(ImageFiles, ExrHoldsHalfRgbaAndEachPassUnderItsNameAndPrecision) {
    const Film film = numbered_film();
    OutputFile(path("passes.exr")).commit(encode_exr(film));

    Imf::InputFile file(path("passes.exr").c_str());
    EXPECT_EQ(file.header().compression(), Imf::ZIP_COMPRESSION);
    std::string layout;
    for (auto c = file.header().channels().begin(); c != file.header().channels().end(); ++c)
        layout += std::string(c.name()) + (c.channel().type == Imf::HALF ? ":half " : ":float ");
    EXPECT_EQ(layout,
              "A:half B:half G:half N.x:float N.y:float N.z:float R:half Z:float id:float ");
    std::map<std::string, std::vector<float>> planes;
    Imf::FrameBuffer frame;
    for (const char* name : {"R", "A", "Z", "id"}) {
        planes[name].resize(35);
        frame.insert(name, Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(planes[name].data()),
                                      sizeof(float), 7 * sizeof(float)));
    }
    file.setFrameBuffer(frame);
    file.readPixels(0, 4);
    // A corner pixel and an inner one: rows and columns neither swapped nor flipped.
    for (const auto& [x, y] : {std::pair{6, 0}, std::pair{2, 3}}) {
        const size_t i = size_t(y * 7 + x);
        EXPECT_EQ(planes["R"][i], float(half(film.beauty.at(x, y).r))) << x << "," << y;
        EXPECT_EQ(planes["A"][i], 0.5f);
        EXPECT_EQ(planes["Z"][i], film.find("Z")->values[i]);
        EXPECT_EQ(planes["id"][i], film.find("id")->values[i]);
    }

    EXPECT_TRUE(read_image(path("passes.exr"), ImageChannels::beauty).film.channels.empty());
    const ImageFile back = read_image(path("passes.exr"));
    EXPECT_EQ(back.format, ImageFormat::exr);
    ASSERT_EQ(back.film.channels.size(), film.channels.size());
    for (const FilmChannel& channel : film.channels) {
        const FilmChannel* read = back.film.find(channel.name);
        ASSERT_NE(read, nullptr) << channel.name;
        EXPECT_EQ(read->precision, channel.precision) << channel.name;
        EXPECT_EQ(read->values, channel.values) << channel.name;
    }
}

// A light close to a surface sums past the largest half: such values, and
// infinities, are held as that half, of their sign, rather than as
// infinities that a compositor's filters would spread; float channels keep
// them as they are.
TEST_F(ImageFiles, ExrHalvesHoldValuesBeyondTheirRangeAsTheLargestHalf) {
    const float values[] = {1e6f, -1e6f, 65519.0f, 0.1f, INFINITY, -INFINITY};
    const float held[] = {65504.0f, -65504.0f, 65504.0f, float(half(0.1f)), 65504.0f, -65504.0f};
    constexpr size_t n = std::size(values);
    Film film(int(n), 1);
    add_passes(film, parse_passes("albedo,depth"));
    for (size_t x = 0; x < n; ++x) {
        film.beauty.pixels[x] = {values[x], values[x], values[x], values[x]};
        for (FilmChannel& channel : film.channels)
            channel.values[x] = values[x];
    }
    write("bright.exr", encode_exr(film));
    const Film back = read_image(path("bright.exr")).film;
    for (size_t x = 0; x < n; ++x) {
        const Color& c = back.beauty.pixels[x];
        for (const float v : {c.r, c.g, c.b, c.a, back.find("albedo.G")->values[x]})
            EXPECT_EQ(v, held[x]) << values[x];
        EXPECT_EQ(back.find("Z")->values[x], values[x]);
    }
}

// A frame is done only when its file is whole: a PNG through its end chunk,
// an OpenEXR through its last chunk of pixels. The broken files of
// FormatIsKnownByContentAndBadFilesSayWhy, cut short or closed before their
// pixels were written, are not. The text a file records is read with its layout.
TEST_F(ImageFiles, WholeImagesAreKnownByTheirEndsAndChannels) {
    Film film = numbered_film();
    film.window = FrameWindow{20, 10, {3, 4, 10, 9}};
    film.attributes = {{"xrayRenderTile", "a tile"}, {"Software", "xray-render"}};
    for (const ImageFormat format : {ImageFormat::png, ImageFormat::exr}) {
        const std::vector<uint8_t> bytes = encode_image(film, format);
        write("whole", bytes);
        const std::optional<ImageLayout> layout = whole_image_layout(path("whole"));
        ASSERT_TRUE(layout);
        const bool png = format == ImageFormat::png;
        EXPECT_TRUE(layout->window == (png ? FrameWindow{7, 5, {0, 0, 7, 5}} : *film.window));
        const std::vector<std::string> channels =
            png ? std::vector<std::string>{"A", "B", "G", "R"}
                : std::vector<std::string>{"A", "B", "G", "N.x", "N.y", "N.z", "R", "Z", "id"};
        EXPECT_EQ(layout->channels, channels);
        EXPECT_EQ(layout->attributes, film.attributes);
        write("cut", {bytes.begin(), bytes.end() - 1});
        EXPECT_FALSE(whole_image_layout(path("cut")));
    }
}

TEST_F(ImageFiles, ExrDataWindowIsPlacedInTheDisplayWindowAndMissingAlphaIsOpaque) {
    // A 6x4 display window at (10, 20); the data, x 12..17 and y 21..22, runs past it.
    Imf::Header header(Imath::Box2i({10, 20}, {15, 23}), Imath::Box2i({12, 21}, {17, 22}));
    std::vector<float> data(6 * 2 * 4); // 6x2 pixels of R, G, B, Z
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = float(i);
    Imf::FrameBuffer frame;
    for (size_t c = 0; c < 4; ++c) {
        const std::string name(1, "RGBZ"[c]);
        header.channels().insert(name, Imf::Channel(Imf::FLOAT));
        frame.insert(name, Imf::Slice::Make(Imf::FLOAT, &data[c], header.dataWindow(),
                                            4 * sizeof(float), 24 * sizeof(float)));
    }
    {
        Imf::OutputFile file(path("cropped.exr").c_str(), header);
        file.setFrameBuffer(frame);
        file.writePixels(2);
    }

    const Film film = read_image(path("cropped.exr")).film;
    ASSERT_EQ(film.width(), 6);
    ASSERT_EQ(film.height(), 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool inside = x >= 2 && y >= 1 && y <= 2;
            const float r = inside ? float(((y - 1) * 6 + (x - 2)) * 4) : 0.0f;
            const Color& c = film.beauty.at(x, y);
            EXPECT_EQ(c.r, r) << x << "," << y;
            EXPECT_EQ(c.a, inside ? 1.0f : 0.0f) << x << "," << y;
            EXPECT_EQ(film.find("Z")->values[size_t(y * 6 + x)], inside ? r + 3 : 0.0f);
        }
    // Read as the data it holds, the file is a window of its frame.
    const Film held = read_image(path("cropped.exr"), ImageChannels::all, ImageExtent::data).film;
    ASSERT_EQ(held.width(), 6);
    ASSERT_EQ(held.height(), 2);
    EXPECT_EQ(held.beauty.at(5, 1).r, 44.0f);
    ASSERT_TRUE(held.window);
    EXPECT_EQ(held.window->width, 6);
    EXPECT_EQ(held.window->height, 4);
    EXPECT_TRUE((held.window->region == PixelRegion{2, 1, 8, 3}));
}

// A tile written in either format and read back: its pixels, its text, and
// in an OpenEXR its place in the frame.
TEST_F(ImageFiles, TilesKeepTheirTextAndTheirPlace) {
    Film tile = numbered_film();
    tile.window = FrameWindow{20, 10, {3, 4, 10, 9}};
    tile.attributes = {{"xrayRenderTile", "{\"frame\": [20, 10]}"}, {"note", "b\u00e9ton\n2"}};
    for (const ImageFormat format : {ImageFormat::png, ImageFormat::exr}) {
        const std::string name = format == ImageFormat::png ? "tile.png" : "tile.exr";
        write(name, encode_image(tile, format));
        const Film back = read_image(path(name), ImageChannels::all, ImageExtent::data).film;
        EXPECT_EQ(back.attributes, tile.attributes) << name;
        ASSERT_EQ(back.width(), 7) << name;
        ASSERT_EQ(back.height(), 5) << name;
        EXPECT_NEAR(back.beauty.at(2, 1).g, tile.beauty.at(2, 1).g, 0.01f) << name;
        if (format == ImageFormat::png) {
            EXPECT_FALSE(back.window) << name; // a PNG is the window alone
            continue;
        }
        ASSERT_TRUE(back.window);
        EXPECT_TRUE((back.window->region == tile.window->region));
        const Film frame = read_image(path(name)).film;
        ASSERT_EQ(frame.width(), 20);
        EXPECT_EQ(frame.beauty.at(3 + 6, 4 + 4).r, back.beauty.at(6, 4).r);
        EXPECT_EQ(frame.beauty.at(2, 4).a, 0.0f);
    }
}

TEST(Png, HoldsStraightAlphaAndDecodesToLinearColourPremultipliedByIt) {
    // What lets two PNGs compare exactly after a trip through linear light.
    for (int code = 0; code < 256; ++code)
        EXPECT_EQ(std::lround(srgb_encode(srgb_decode(float(code) / 255.0f)) * 255.0f), code);

    // A half-covered pixel, premultiplied, is stored as its colour at full coverage.
    Image half(1, 1);
    half.at(0, 0) = {0.25f, 0.1f, 0.0f, 0.4f};
    const Color back = decode_png(encode_png(half)).at(0, 0);
    EXPECT_NEAR(back.r, 0.25f, 0.004f);
    EXPECT_NEAR(back.g, 0.1f, 0.002f);
    EXPECT_NEAR(back.a, 0.4f, 0.002f);

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
        EXPECT_FLOAT_EQ(image.at(x, 0).r, expected[x].r) << x;
        EXPECT_FLOAT_EQ(image.at(x, 0).g, expected[x].g) << x;
        EXPECT_FLOAT_EQ(image.at(x, 0).b, expected[x].b) << x;
        EXPECT_FLOAT_EQ(image.at(x, 0).a, expected[x].a) << x;
    }
}

TEST_F(ImageFiles, FormatIsKnownByContentAndBadFilesSayWhy) {
    const Film film(3, 2);
    write("exr-named.png", encode_exr(film));
    EXPECT_EQ(read_image(path("exr-named.png")).format, ImageFormat::exr);

    const std::vector<uint8_t> exr = encode_exr(numbered_film());
    write("truncated.exr", {exr.begin(), exr.begin() + std::ptrdiff_t(exr.size() * 2 / 3)});
    const std::vector<uint8_t> png = encode_png(film.beauty);
    write("truncated.png", {png.begin(), png.begin() + 40});
    write("text.png", {'h', 'e', 'l', 'l', 'o'});
    // Read to its end, /dev/zero would never end; opened, a FIFO waits for a writer.
    ASSERT_EQ(symlink("/dev/zero", path("zero.exr").c_str()), 0);
    ASSERT_EQ(mkfifo(path("fifo.png").c_str(), 0600), 0);
    {
        // A header of 16384x16384 pixels in 256 channels and no pixels, a few
        // hundred kilobytes that would take a terabyte once decoded.
        Imf::Header header(16384, 16384);
        header.compression() = Imf::NO_COMPRESSION;
        for (int c = 0; c < 256; ++c)
            header.channels().insert(c < 3 ? std::string(1, "RGB"[c]) : "c" + std::to_string(c),
                                     Imf::Channel(Imf::HALF));
        Imf::OutputFile(path("huge.exr").c_str(), header);
    }
    {
        // Two parts, the second of which a reader of the first alone would miss.
        std::vector<Imf::Header> parts(2, Imf::Header(4, 4));
        for (size_t p = 0; p < parts.size(); ++p) {
            parts[p].setName("part" + std::to_string(p));
            parts[p].setType(Imf::SCANLINEIMAGE);
            for (const char* c : {"R", "G", "B"})
                parts[p].channels().insert(c, Imf::Channel(Imf::HALF));
        }
        Imf::MultiPartOutputFile(path("parts.exr").c_str(), parts.data(), 2);
    }
    // PNGs that stb_image would decode wrongly or refuse with its own words:
    // one bit flipped in the pixels, a header's sizes changed, an end cut
    // off, and the BGR variant, whose first chunk is CgBI.
    std::vector<uint8_t> flipped = png;
    flipped[flipped.size() - 12 - 4 - 1] ^= 0x10;
    write("flipped.png", flipped);
    auto put = [](std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
        for (size_t i = 0; i < 4; ++i)
            bytes[at + i] = uint8_t(value >> (24 - 8 * i));
    };
    auto sized = [&](uint32_t width, uint32_t height) {
        std::vector<uint8_t> header = png;
        put(header, 16, width);
        put(header, 20, height);
        put(header, 29, png_crc(&header[12], 17));
        return header;
    };
    write("huge.png", sized(100000, 100000));
    write("wide.png", sized(INT32_MAX, 1));
    write("empty.png", sized(0, 4));
    write("endless.png", {png.begin(), png.end() - 12});
    std::vector<uint8_t> cgbi = png,
                         chunk = {0, 0, 0, 4, 'C', 'g', 'B', 'I', 0x50, 0, 0x20, 6, 0, 0, 0, 0};
    put(chunk, 12, png_crc(&chunk[4], 8));
    cgbi.insert(cgbi.begin() + 8, chunk.begin(), chunk.end());
    write("cgbi.png", cgbi);
    // Past what the decoder reads, refused before it is read: sparse, it costs no disk.
    write("2gb.png", png);
    ASSERT_EQ(truncate(path("2gb.png").c_str(), off_t(1) << 31), 0);
    const std::pair<std::string, std::string> cases[] = {
        {"zero.exr", "not a regular file"},
        {"fifo.png", "not a regular file"},
        {"huge.exr", "more than the memory available"},
        {"missing.png", "No such file or directory"},
        {"", "Is a directory"},
        {"text.png", "neither a PNG nor an OpenEXR image"},
        {"truncated.png", "PNG"},
        {"truncated.exr", "OpenEXR file cut short"},
        {"parts.exr", "an OpenEXR file of 2 parts"},
        {"flipped.png", "corrupt PNG (CRC mismatch in IDAT)"},
        {"huge.png", "PNG image of 100000x100000 pixels is too large"},
        {"wide.png", "PNG image of 2147483647x1 pixels is too large"},
        {"empty.png", "PNG image of 0x4 pixels has a zero width or height"},
        {"endless.png", "corrupt PNG (cut short before IEND)"},
        {"cgbi.png", "not a standard PNG (a CgBI file"},
        {"2gb.png", "a PNG file of 2048 MiB is larger than the decoder reads"},
    };
    // Whole, though unreadable: a frame's layout is read without its pixels.
    const std::set<std::string> whole = {"flipped.png", "huge.png", "wide.png", "empty.png"};
    for (const auto& [name, reason] : cases) {
        EXPECT_EQ(bool(whole_image_layout(path(name))), whole.count(name) > 0) << name;
        try {
            read_image(path(name));
            ADD_FAILURE() << name << " was read";
        } catch (const std::runtime_error& e) {
            const std::string message = e.what();
            EXPECT_EQ(message.rfind("cannot read " + path(name) + ": ", 0), 0u) << message;
            EXPECT_NE(message.find(reason), std::string::npos) << message;
            EXPECT_EQ(message.find('\n'), std::string::npos) << message;
        }
    }
}

TEST(Film, PassesAddEachChannelOnceAndBadNamesAreRefused) {
    Film film(2, 2);
    add_passes(film, parse_passes("xray,depth,xray"));
    ASSERT_EQ(film.channels.size(), 2u);
    EXPECT_THROW(film.add_channel("Z", ChannelPrecision::half), std::invalid_argument);
    EXPECT_THROW(film.add_channel("A", ChannelPrecision::half), std::invalid_argument);
    for (const char* bad : {"depth,normals", "depth,", ",depth", ""})
        EXPECT_THROW(parse_passes(bad), std::runtime_error) << bad;
}
