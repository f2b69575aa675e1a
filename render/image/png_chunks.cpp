#include "render/image/png_chunks.h"

#include "render/util/text.h"

#include <array>
#include <stdexcept>

namespace xr {

namespace {

constexpr size_t signature_size = 8;

} // namespace

uint32_t png_u32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

uint32_t png_crc(const uint8_t* bytes, size_t size) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t c = 0xffffffffu;
    for (size_t i = 0; i < size; ++i)
        c = table[(c ^ bytes[i]) & 0xff] ^ (c >> 8);
    return c ^ 0xffffffffu;
}

std::vector<PngChunk> png_chunks(const std::vector<uint8_t>& png) {
    std::vector<PngChunk> chunks;
    for (size_t at = signature_size; at + 12 <= png.size();) {
        const size_t length = png_u32(&png[at]);
        const std::string type(png.begin() + std::ptrdiff_t(at + 4),
                               png.begin() + std::ptrdiff_t(at + 8));
        if (length > png.size() - at - 12)
            throw std::runtime_error("corrupt PNG (cut short in " + printable(type) + ")");
        chunks.push_back({type, &png[at + 8], length, png_u32(&png[at + 8 + length])});
        at += 12 + length;
        if (type == "IEND")
            break;
    }
    return chunks;
}

} // namespace xr
