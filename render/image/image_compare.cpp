#include "render/image/image_compare.h"

#include "render/image/srgb.h"

#include <algorithm>
#include <cmath>

namespace xr {

namespace {

float component(const Color& c, int i) {
    return i == 0 ? c.r : i == 1 ? c.g : i == 2 ? c.b : c.a;
}

// The steps of a 16-bit PNG, in which display values are measured.
constexpr float png_steps = 65535.0f;

float pixel_difference(const Color& a, const Color& b) {
    float d = 0.0f;
    for (int i = 0; i < 4; ++i)
        d = std::max(d, channel_difference(component(a, i), component(b, i)));
    return d;
}

// Heat colours as a PNG shows them, in linear light for encode_png.
Color heat(float t) {
    struct Stop {
        float t, r, g, b;
    };
    constexpr Stop stops[] = {{0.0f, 0.45f, 0.0f, 0.7f},
                              {0.33f, 1.0f, 0.0f, 0.0f},
                              {0.67f, 1.0f, 1.0f, 0.0f},
                              {1.0f, 1.0f, 1.0f, 1.0f}};
    t = std::clamp(t, 0.0f, 1.0f);
    size_t i = 1;
    while (i + 1 < std::size(stops) && t > stops[i].t)
        ++i;
    const Stop &lo = stops[i - 1], &hi = stops[i];
    const float f = (t - lo.t) / (hi.t - lo.t);
    auto mix = [f](float a, float b) { return srgb_decode(a + (b - a) * f); };
    return {mix(lo.r, hi.r), mix(lo.g, hi.g), mix(lo.b, hi.b), 1.0f};
}

} // namespace

CompareSpace compare_space(ImageFormat a, ImageFormat b) {
    return a == ImageFormat::exr && b == ImageFormat::exr ? CompareSpace::linear
                                                          : CompareSpace::display;
}

Image in_space(Image image, ImageFormat format, CompareSpace space) {
    if (space == CompareSpace::linear)
        return image;
    // A PNG's values are its codes, found again after their trip through
    // linear light: whole steps of a 16-bit PNG, of which an 8-bit step is 257.
    const bool coded = format == ImageFormat::png;
    auto code = [coded](float v) { return coded ? std::round(v * png_steps) / png_steps : v; };
    for (Color& c : image.pixels) {
        // NaN and infinities stay, where a PNG would hide them as 0 or 1: a
        // pixel gone bad must show. Colour is straight, as if fully covered.
        auto encode = [&c, &code](float v) {
            if (!std::isfinite(v))
                return v;
            return code(c.a > 0.0f ? srgb_encode(v / c.a) : std::isnan(c.a) ? c.a : 0.0f);
        };
        c = {encode(c.r), encode(c.g), encode(c.b),
             std::isfinite(c.a) ? code(std::clamp(c.a, 0.0f, 1.0f)) : c.a};
    }
    return image;
}

float channel_difference(float a, float b) {
    if (a == b || (std::isnan(a) && std::isnan(b)))
        return 0.0f;
    const float d = std::fabs(a - b);
    return std::isnan(d) ? INFINITY : d;
}

ImageDifference measure_difference(const Image& a, const Image& b, float threshold,
                                   CompareSpace space) {
    // Display values are subtracted in 16-bit steps, whole numbers for a PNG,
    // so that two PNGs differ by exactly so many: one 8-bit step is 1/255 as
    // --fail reads it, not a float's rounding more.
    const float unit = space == CompareSpace::display ? png_steps : 1.0f;
    ImageDifference result;
    result.pixels = a.pixels.size();
    double sum = 0.0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            const Color &p = a.at(x, y), &q = b.at(x, y);
            float worst = 0.0f;
            for (int i = 0; i < 4; ++i) {
                const float d =
                    channel_difference(component(p, i) * unit, component(q, i) * unit) / unit;
                sum += d;
                worst = std::max(worst, d);
                if (d > result.max) {
                    result.max = d;
                    result.max_x = x, result.max_y = y, result.max_channel = i;
                }
            }
            result.over += worst > threshold;
        }
    result.mean = result.pixels ? sum / double(4 * result.pixels) : 0.0;
    return result;
}

Image heat_map(Image a, const Image& b) {
    float full = 0.0f;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        const float d = pixel_difference(a.pixels[i], b.pixels[i]);
        if (std::isfinite(d))
            full = std::max(full, d);
    }
    // Each pixel of the map from the same pixel of `a`, in its place.
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        Color& c = a.pixels[i];
        const float d = pixel_difference(c, b.pixels[i]);
        if (d > 0.0f) {
            c = heat(std::isfinite(d) ? d / full : 1.0f);
            continue;
        }
        const float grey =
            0.2f * std::clamp(0.2126f * c.r + 0.7152f * c.g + 0.0722f * c.b, 0.0f, 1.0f);
        c = {grey, grey, grey, 1.0f};
    }
    return a;
}

} // namespace xr
