#include "render/adaptive_sampler.h"

#include "render/image/srgb.h"

#include <algorithm>
#include <cmath>

namespace xr {

namespace {

// A sample as a display shows it, channel by channel: the colour encoded and
// so clamped to [0, 1], the alpha clamped. Each channel counts alone, so that
// an edge between colours of one brightness, or against a transparent
// background, is as noisy as it looks.
std::array<double, 4> shown(const Color& c) {
    return {srgb_encode(c.r), srgb_encode(c.g), srgb_encode(c.b), std::clamp(c.a, 0.0f, 1.0f)};
}

} // namespace

void AdaptiveSampler::take(ThreadContext& context, Pixel& p, int x, int y, int until) {
    for (int i = p.samples; i < until; ++i) {
        const Color c =
            camera_sample(context, camera_, settings_, x, y, i, until, passes_, p.passes);
        p.sum.r += c.r, p.sum.g += c.g, p.sum.b += c.b, p.sum.a += c.a;
        const std::array<double, 4> v = shown(c);
        for (size_t k = 0; k < v.size(); ++k) {
            p.shown[k] += v[k];
            p.shown2[k] += v[k] * v[k];
        }
    }
    p.samples = until;
    const double n = p.samples;
    double variance = 0.0;
    if (n > 1.0)
        for (size_t k = 0; k < p.shown.size(); ++k)
            variance = std::max(variance, (p.shown2[k] - p.shown[k] * p.shown[k] / n) / (n - 1.0));
    p.error = float(std::sqrt(variance / n) * 255.0);
}

void AdaptiveSampler::render_block(ThreadContext& context, int bx, int by, const PixelRegion& tile,
                                   const PixelRegion& window, Image& image) {
    constexpr int side = adaptive_block_size;
    const int left = bx * side, top = by * side;
    const int w = std::min(side, settings_.width - left),
              h = std::min(side, settings_.height - top);
    const int most = settings_.samples;
    const int least = settings_.fewest_samples();
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            Pixel& p = pixels_[size_t(j * side + i)];
            p.sum = {0.0f, 0.0f, 0.0f, 0.0f};
            p.samples = 0;
            p.shown = p.shown2 = {};
            p.passes.clear();
            take(context, p, left + i, top + j, least);
        }
    // Rounds: every pixel still going doubles its samples, up to the most.
    for (;;) {
        std::array<bool, side * side> going{};
        bool any = false;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) {
                const Pixel& p = pixels_[size_t(j * side + i)];
                if (p.samples >= most)
                    continue;
                float error = p.error;
                // After the first batch, the noisiest neighbour speaks for a
                // pixel whose own samples may have agreed by chance.
                if (p.samples == least)
                    for (int jj = std::max(j - 1, 0); jj <= std::min(j + 1, h - 1); ++jj)
                        for (int ii = std::max(i - 1, 0); ii <= std::min(i + 1, w - 1); ++ii)
                            error = std::max(error, pixels_[size_t(jj * side + ii)].error);
                // A pixel that needs many samples keeps a little more noise,
                // in proportion to the square root of its samples: each
                // sample then goes where it lowers the image's error most.
                const float leeway =
                    std::min(most_leeway, std::sqrt(float(p.samples) / float(least)));
                any |= going[size_t(j * side + i)] = error > settings_.noise * leeway;
            }
        if (!any)
            break;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i)
                if (going[size_t(j * side + i)]) {
                    Pixel& p = pixels_[size_t(j * side + i)];
                    take(context, p, left + i, top + j, std::min(most, 2 * p.samples));
                }
    }
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const int x = left + i, y = top + j;
            Pixel& p = pixels_[size_t(j * side + i)];
            if (x < tile.x0 || x >= tile.x1 || y < tile.y0 || y >= tile.y1)
                continue;
            const float n = 1.0f / float(p.samples);
            image.pixels[window.index(x, y)] = {p.sum.r * n, p.sum.g * n, p.sum.b * n, p.sum.a * n};
            if (passes_)
                passes_->store(window.index(x, y), p.samples, p.passes);
            context.stats.samples += uint64_t(p.samples);
        }
}

} // namespace xr
