// Adaptive sampling: pixels take samples in rounds, doubling them, until the
// error of what an 8-bit display shows of them is estimated to be under the
// render's noise threshold. The estimate is the largest of its channels' (red,
// green, blue and alpha), made:
// - from at least the minimum batch of samples, and never from one sample
//   alone, which says nothing of the noise;
// - from the spread of the samples as a display shows them, clamped to what
//   it can show, so that one sample far too bright (a firefly) weighs no more
//   than one at full white: the colour sRGB-encoded, the alpha as stored;
// - in square blocks of the frame: after the first batch, a pixel goes on
//   while a neighbour within its block is over the threshold, as at the edge
//   of a soft shadow or a surface whose first samples all fell on one side of
//   it and agree by chance.
// A pixel that needs many samples is let keep a little more noise, growing
// with the square root of its samples up to four times the threshold: the
// time then goes where it lowers the image's overall error most.
// A block decides alone, from its own pixels' samples, and the blocks lie on
// a grid from the frame's top left corner; with every sample drawn from its
// pixel's own stream, the image depends on neither threads nor tiles.
#pragma once

#include "render/camera_sample.h"
#include "render/image/image.h"
#include "render/image/pixel_region.h"

#include <array>

namespace xr {

// The side of the blocks, in pixels.
constexpr int adaptive_block_size = 8;

// Renders blocks; one per thread, its scratch reused from block to block.
class AdaptiveSampler {
  public:
    AdaptiveSampler(const CameraView& camera, const RenderSettings& settings,
                    const PassSampler* passes)
        : camera_(camera), settings_(settings), passes_(passes) {}

    // Samples block (bx, by) of the frame, counted in blocks, until its pixels
    // are done, and stores those within `tile` in the image and the passes,
    // which hold `window` of the frame.
    void render_block(ThreadContext& context, int bx, int by, const PixelRegion& tile,
                      const PixelRegion& window, Image& image);

  private:
    struct Pixel {
        Color sum; // of the samples, in the order taken, as a uniform render sums them
        int samples = 0;
        // The sums of the samples' channels (R, G, B, A) as a display shows
        // them, and of their squares.
        std::array<double, 4> shown{}, shown2{};
        float error = 0.0f; // the largest standard error of a channel's mean, in 8-bit steps
        PassSampler::Pixel passes;
    };

    // Takes the pixel's samples up to `until`.
    void take(ThreadContext& context, Pixel& p, int x, int y, int until);

    const CameraView& camera_;
    const RenderSettings& settings_;
    const PassSampler* passes_;
    std::array<Pixel, adaptive_block_size * adaptive_block_size> pixels_;
};

} // namespace xr
