// The passes of a film as a render fills them: each camera sample adds what its
// ray found at the first surface that gave it a colour, and each pixel keeps
// the averages, or for the id the part most of its samples reached (passes.h
// says what each pass holds). Only the passes the film has cost anything.
#pragma once

#include "render/image/film.h"
#include "render/thread_context.h"

#include <utility>
#include <vector>

namespace xr {

class PassSampler {
  public:
    // What a pixel's samples have added so far.
    struct Pixel {
        float depth_sum = 0.0f;
        int hits = 0;
        Vec3 normal_sum, albedo_sum;
        float xray_sum = 0.0f;
        std::vector<std::pair<uint32_t, int>> votes; // (part, samples that reached it)

        // Back to no samples; the votes keep their memory for the next pixel.
        void clear() {
            depth_sum = 0.0f;
            hits = 0;
            normal_sum = albedo_sum = Vec3{};
            xray_sum = 0.0f;
            votes.clear();
        }
    };

    // Fills the film's pass channels; one sampler per thread.
    explicit PassSampler(Film& film);

    // A camera sample of `pixel` that reached `surface`, or nothing when null.
    void add(ThreadContext& context, HostState* surface, Pixel& pixel) const;
    // Stores the pixel's values at index `at` and clears it for the next.
    void store(size_t at, int samples, Pixel& pixel) const;

  private:
    float* depth_;
    float* normal_[3];
    float* albedo_[3];
    float* xray_;
    float* id_;
    float* samples_;
};

} // namespace xr
