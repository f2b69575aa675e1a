// A counter-based random stream: each pixel sample starts its own stream from
// (seed, pixel, sample), so images do not depend on how work is split.
#pragma once

#include <cstdint>

namespace xr {

class Rng {
  public:
    Rng() = default;
    Rng(uint32_t seed, uint32_t pixel, uint32_t sample) {
        state_ = mix(mix(mix(seed) ^ pixel) ^ (uint64_t(sample) << 32));
    }

    // Uniform in [0, 1).
    float uniform() { return float(next() >> 40) * 0x1p-24f; }

    // The stream as it will be `draws` draws on: each draw depends on its
    // place in the stream alone, so draws can be made ahead of their turn.
    Rng ahead(uint64_t draws) const {
        Rng r = *this;
        r.state_ += draws;
        return r;
    }
    bool operator==(const Rng& other) const { return state_ == other.state_; }

    // A number that looks random, made from z alone.
    static uint64_t hash(uint64_t z) { return mix(z); }

  private:
    // splitmix64: passes the usual statistical batteries and costs a few cycles.
    static uint64_t mix(uint64_t z) {
        z += 0x9e3779b97f4a7c15ull;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    uint64_t next() { return mix(state_++); }

    uint64_t state_ = 0;
};

} // namespace xr
