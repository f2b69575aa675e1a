// How far two images of the same size differ, as image-regression tests
// measure it: per channel, in one space for both.
#pragma once

#include "render/image/image.h"
#include "render/image/image_file.h"

#include <cstddef>

namespace xr {

// Two OpenEXR images are compared as stored: linear light, premultiplied.
// When either is a PNG, both are compared as a PNG holds them: colour sRGB-
// encoded, alpha straight, every value in [0, 1] (one 8-bit step is 1/255),
// so that thresholds mean the same in dark and bright areas.
enum class CompareSpace { linear, display };

CompareSpace compare_space(ImageFormat a, ImageFormat b);

// The values in that space of an image read from a file of that format: a
// PNG's, its codes exactly. NaN and infinities stay as they are. Converted
// in place: an image moved in is not copied.
Image in_space(Image image, ImageFormat format, CompareSpace space);

struct ImageDifference {
    double mean = 0.0; // of |a - b| over every channel of every pixel
    float max = 0.0f;  // the largest difference of a channel
    int max_x = 0, max_y = 0;
    int max_channel = 0; // 0 to 3: R, G, B, A
    size_t over = 0;     // pixels with a channel that differs by more than the threshold
    size_t pixels = 0;
};

// |a - b|, but infinite for NaN against a number, or for unequal infinities,
// so that a pixel gone bad never passes.
float channel_difference(float a, float b);

// The images must have the same size, their values in `space`: two PNGs'
// differ by exactly their codes' difference, one 8-bit step by 1/255.
ImageDifference measure_difference(const Image& a, const Image& b, float threshold,
                                   CompareSpace space);

// A heat map of the largest channel difference at each pixel, from violet
// through red and yellow to white at the largest finite difference (and for
// infinite ones), over a dim grey copy of `a` where the images agree. Made in
// the place of `a`: an image moved in is not copied.
Image heat_map(Image a, const Image& b);

} // namespace xr
