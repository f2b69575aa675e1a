#include "render/image/image_file.h"

#include "render/image/exr_image.h"
#include "render/image/png_chunks.h"
#include "render/image/png_image.h"
#include "render/image/png_text.h"
#include "render/util/regular_file.h"
#include "render/util/system_memory.h"
#include "render/util/text.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <stdexcept>

namespace xr {

namespace {

constexpr uint8_t png_magic[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
constexpr uint8_t exr_magic[] = {0x76, 0x2f, 0x31, 0x01};

template <size_t N> bool starts_with(const uint8_t* bytes, size_t size, const uint8_t (&magic)[N]) {
    return size >= N && std::equal(magic, magic + N, bytes);
}

// The whole of a regular file that starts as a PNG or an OpenEXR does, refused
// by its first bytes or its size before it is read.
std::vector<uint8_t> read_image_bytes(const std::string& path, ImageFormat& format) {
    const RegularFile file(path);
    uint8_t head[8];
    const size_t got = file.read_into(head, std::min(sizeof head, file.size()));
    if (starts_with(head, got, png_magic))
        format = ImageFormat::png;
    else if (starts_with(head, got, exr_magic))
        format = ImageFormat::exr;
    else
        throw std::runtime_error("neither a PNG nor an OpenEXR image");
    if (format == ImageFormat::png)
        check_png_file_size(file.size());
    check_memory(double(file.size()), "the file");
    // As large as the file was when it was opened, however it changes since.
    std::vector<uint8_t> bytes(file.size());
    std::copy(head, head + got, bytes.begin());
    bytes.resize(got + file.read_into(bytes.data() + got, bytes.size() - got));
    return bytes;
}

// The chunks of a PNG before its pixels, where this program writes its text:
// the text of a large image is read without its pixels.
std::vector<uint8_t> png_head(const RegularFile& file) {
    uint64_t at = sizeof png_magic;
    for (uint8_t chunk[8]; file.read_at(at, chunk, sizeof chunk) == sizeof chunk;) {
        if (std::memcmp(chunk + 4, "IDAT", 4) == 0 || std::memcmp(chunk + 4, "IEND", 4) == 0)
            break;
        at += 12 + uint64_t(png_u32(chunk));
    }
    std::vector<uint8_t> head(std::min<uint64_t>(at, file.size()));
    head.resize(file.read_at(0, head.data(), head.size()));
    return head;
}

} // namespace

ImageFile read_image(const std::string& path, ImageChannels channels, ImageExtent extent) {
    return reading(path, [&]() -> ImageFile {
        ImageFormat format = ImageFormat::png;
        const std::vector<uint8_t> bytes = read_image_bytes(path, format);
        if (format == ImageFormat::png) {
            ImageFile image{format, Film(decode_png(bytes))};
            image.film.attributes = png_text(bytes);
            return image;
        }
        return {format, decode_exr(bytes, path, channels == ImageChannels::beauty, extent)};
    });
}

std::optional<ImageLayout> whole_image_layout(const std::string& path) {
    try {
        const RegularFile file(path);
        uint8_t head[26];
        const size_t got = file.read_into(head, sizeof head);
        if (starts_with(head, got, exr_magic))
            return whole_exr_layout(path, file.size());
        // The signature, then the IHDR chunk: its length, its name, the width
        // and the height, big-endian, the bit depth and the colour type.
        if (!starts_with(head, got, png_magic) || got < sizeof head ||
            std::memcmp(head + 12, "IHDR", 4) != 0)
            return std::nullopt;
        constexpr uint8_t rgba8[] = {8, 6};
        // An empty IEND chunk and its CRC end the file.
        constexpr uint8_t end[] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xae, 0x42, 0x60, 0x82};
        uint8_t tail[sizeof end];
        if (png_u32(head + 16) > uint32_t(INT_MAX) || png_u32(head + 20) > uint32_t(INT_MAX) ||
            !std::equal(rgba8, rgba8 + 2, head + 24) || file.size() < sizeof head + sizeof end ||
            file.read_at(file.size() - sizeof end, tail, sizeof tail) != sizeof tail ||
            !std::equal(end, end + sizeof end, tail))
            return std::nullopt;
        const int width = int(png_u32(head + 16)), height = int(png_u32(head + 20));
        return ImageLayout{{width, height, {0, 0, width, height}},
                           file_channel_names({}),
                           png_text(png_head(file))};
    } catch (const std::exception&) {
        return std::nullopt; // missing, unreadable or broken: not an image
    }
}

ImageFormat format_for(const std::string& path) {
    return lowercase_extension(path) == "exr" ? ImageFormat::exr : ImageFormat::png;
}

void check_image_fits(ImageFormat format, int width, int height, size_t channels) {
    if (format == ImageFormat::png)
        check_png_size(width, height);
    const double film = double(sizeof(Color) + sizeof(float) * channels);
    // What encoding holds beside the film at its peak, a pixel. PNG: the 8-bit
    // copy, and stb's deflated rows (at most 9/8 of 4 bytes) in a buffer grown
    // by doubling, then copied out. OpenEXR: the colour in half, each pass in
    // half, and room for the file uncompressed (every channel counted single).
    const double file = 8.0 + double(sizeof(float) * channels);
    const double encoded =
        format == ImageFormat::exr ? 8.0 + 2.0 * double(channels) + file : 4.0 + 3.0 * 4.5;
    check_memory(double(width) * double(height) * (film + encoded),
                 "a " + size_text(width, height) + " image");
}

std::vector<uint8_t> encode_image(const Film& film, ImageFormat format) {
    if (format == ImageFormat::exr)
        return encode_exr(film);
    return add_png_text(encode_png(film.beauty), film.attributes);
}

} // namespace xr
