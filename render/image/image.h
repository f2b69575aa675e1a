// Linear RGBA pixels premultiplied by alpha.
#pragma once

#include <qorv_xraytexture.h>

#include <cstdint>
#include <vector>

namespace xr {

struct Image {
    Image(int width_, int height_)
        : width(width_), height(height_), pixels(size_t(width_) * size_t(height_)) {}

    Color& at(int x, int y) { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
    const Color& at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }

    int width, height;
    std::vector<Color> pixels;
};

// The most pixels a decoded image may have: that of the largest frame the
// renderer makes, 16384 × 16384.
constexpr size_t max_decoded_pixels = size_t(1) << 28;

} // namespace xr
