#include "render/image/png_image.h"

#include "render/image/png_chunks.h"
#include "render/image/srgb.h"
#include "render/util/system_memory.h"
#include "render/util/text.h"

#include <algorithm>
#include <climits>
#include <cmath>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb_image_write.h>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include <stb_image.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace xr {

namespace {

void append(void* context, void* data, int size) {
    auto* bytes = static_cast<std::vector<uint8_t>*>(context);
    auto* begin = static_cast<const uint8_t*>(data);
    bytes->insert(bytes->end(), begin, begin + size);
}

// The filtered rows of an RGBA image, (4 * width + 1) * height bytes, deflated
// by stb with fixed codes into at most 9/8 of that, all counted in int.
constexpr size_t max_png_rows = (size_t(INT_MAX) - 1024) / 9 * 8;

// The chunks of a PNG that is whole through its end chunk, each as its CRC
// says, and standard: stb_image checks no CRC, and reads bytes missing from
// a file cut short as zeros. Throws std::runtime_error saying what is wrong.
std::vector<PngChunk> checked_chunks(const std::vector<uint8_t>& png) {
    const std::vector<PngChunk> chunks = png_chunks(png);
    for (const PngChunk& chunk : chunks) {
        if (png_crc(chunk.data - 4, chunk.size + 4) != chunk.crc)
            throw std::runtime_error("corrupt PNG (CRC mismatch in " + printable(chunk.type) + ")");
        // Its colour is stored blue first, and its data is no zlib stream.
        if (chunk.type == "CgBI")
            throw std::runtime_error("not a standard PNG (a CgBI file, its colours stored as BGR)");
    }
    if (chunks.empty() || chunks.front().type != "IHDR" || chunks.front().size != 13)
        throw std::runtime_error("corrupt PNG (its first chunk is no IHDR)");
    if (chunks.back().type != "IEND")
        throw std::runtime_error("corrupt PNG (cut short before IEND)");
    return chunks;
}

// Why stb_image refused, never empty.
std::string decoder_reason() {
    const char* reason = stbi_failure_reason();
    return reason && *reason ? printable(reason) : "corrupt data";
}

} // namespace

void check_png_file_size(uint64_t bytes) {
    // stb_image counts a file's bytes in int.
    if (bytes > uint64_t(INT_MAX))
        throw std::runtime_error("a PNG file of " + std::to_string(bytes >> 20) +
                                 " MiB is larger than the decoder reads: " +
                                 std::to_string(INT_MAX >> 20) + " MiB at most");
}

void check_png_size(int width, int height) {
    const size_t rows = (size_t(std::max(width, 0)) * 4 + 1) * size_t(std::max(height, 0));
    if (rows > max_png_rows)
        throw std::runtime_error("a " + size_text(width, height) +
                                 " image is larger than a PNG can be written: its rows come to " +
                                 std::to_string(rows >> 20) + " MiB, and the encoder takes " +
                                 std::to_string(max_png_rows >> 20) +
                                 " MiB at most; write OpenEXR (.exr)");
}

std::vector<uint8_t> encode_png(const Image& image) {
    check_png_size(image.width, image.height);
    std::vector<uint8_t> rgba;
    rgba.reserve(image.pixels.size() * 4);
    for (const Color& c : image.pixels) {
        // A PNG holds straight alpha: colour as if the pixel were fully covered.
        const float straight = c.a > 0.0f ? 1.0f / c.a : 0.0f;
        rgba.insert(rgba.end(), {srgb_encode_8bit(c.r * straight), srgb_encode_8bit(c.g * straight),
                                 srgb_encode_8bit(c.b * straight), to_8bit(c.a)});
    }
    std::vector<uint8_t> png;
    const size_t stride = size_t(image.width) * 4; // within an int: checked above
    if (!stbi_write_png_to_func(append, &png, image.width, image.height, 4, rgba.data(),
                                int(stride)))
        throw std::runtime_error("cannot encode the image as PNG");
    return png;
}

Image decode_png(const std::vector<uint8_t>& png) {
    check_png_file_size(png.size());
    const PngChunk header = checked_chunks(png).front();
    const uint32_t columns = png_u32(header.data), rows = png_u32(header.data + 4);
    const std::string size = std::to_string(columns) + "x" + std::to_string(rows);
    if (columns == 0 || rows == 0)
        throw std::runtime_error("PNG image of " + size + " pixels has a zero width or height");
    if (columns > STBI_MAX_DIMENSIONS || rows > STBI_MAX_DIMENSIONS ||
        uint64_t(columns) * rows > max_decoded_pixels)
        throw std::runtime_error("PNG image of " + size + " pixels is too large");
    const auto* data = png.data();
    const int bytes = int(png.size());
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(data, bytes, &width, &height, &channels))
        throw std::runtime_error("not a readable PNG image (" + decoder_reason() + ")");
    // Both depths decode to four values a pixel, from 0 to full scale.
    const bool deep = stbi_is_16_bit_from_memory(data, bytes);
    check_memory(double(width) * double(height) * double(sizeof(Color) + (deep ? 8 : 4)),
                 "a PNG image of " + size + " pixels");
    const float full_scale = deep ? 65535.0f : 255.0f;
    std::unique_ptr<void, void (*)(void*)> pixels(
        deep
            ? static_cast<void*>(
                  stbi_load_16_from_memory(data, bytes, &width, &height, &channels, 4))
            : static_cast<void*>(stbi_load_from_memory(data, bytes, &width, &height, &channels, 4)),
        stbi_image_free);
    if (!pixels)
        throw std::runtime_error("cannot decode the PNG image (" + decoder_reason() + ")");
    auto value = [&](size_t i) {
        return deep ? float(static_cast<const uint16_t*>(pixels.get())[i]) / full_scale
                    : float(static_cast<const uint8_t*>(pixels.get())[i]) / full_scale;
    };
    Image image(width, height);
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        const float a = value(4 * i + 3);
        image.pixels[i] = {srgb_decode(value(4 * i)) * a, srgb_decode(value(4 * i + 1)) * a,
                           srgb_decode(value(4 * i + 2)) * a, a};
    }
    return image;
}

} // namespace xr
