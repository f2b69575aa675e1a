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
    // Fills the film's pass channels; one sampler per thread.
    explicit PassSampler(Film& film);

    // A camera sample that reached `surface`, or nothing when null.
    void add(ThreadContext& context, HostState* surface);
    // Stores the pixel's values at index `pixel` and starts the next pixel.
    void store(size_t pixel, int samples);

  private:
    float* depth_;
    float* normal_[3];
    float* albedo_[3];
    float* xray_;
    float* id_;

    float depth_sum_ = 0.0f;
    int hits_ = 0;
    Vec3 normal_sum_, albedo_sum_;
    float xray_sum_ = 0.0f;
    std::vector<std::pair<uint32_t, int>> votes_; // (part, samples that reached it)
};

} // namespace xr
