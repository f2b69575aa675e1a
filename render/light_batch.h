// A light's samples from one surface point, worked out and their shadow rays
// cast a run at a time. The x-ray shader asks for a light's samples one by
// one, with the Phong factor of each in between; answering each call from a
// run made at its first keeps the samples' arithmetic (four at a time) and the
// shadow rays in tight loops, away from the calls' overhead. A run answers
// only calls that find the thread's random stream where the sample would have
// drawn from it, so every answer is the one a sample made on demand would
// give, whatever the shader asks for and in whatever order.
#pragma once

#include "render/host_records.h"
#include "render/light.h"

#include <algorithm>

namespace xr {

class LightBatch {
  public:
    // Sample k of the light tagged `tag` from the run in hand, as incident_light
    // gives it, with its cosine to the state's shading normal, moving `rng` on
    // as the sample's own draws would; false when the run does not hold it.
    [[gnu::always_inline]] bool answer(const HostState& state, Tag tag, int k, Rng& rng,
                                       LightSample& sample, float& cosine) {
        // Unsigned, so that any count the shader passes, negative too, falls outside.
        const unsigned i = unsigned(k) - unsigned(first_);
        if (state_ != &state || tag_ != tag || i >= unsigned(count_) ||
            !(rng == start_.ahead(uint64_t(i) * draws_)))
            return false;
        take(int(i), rng, sample, cosine);
        return true;
    }
    // The same from a new run of the light's samples from k on (k < light.samples()),
    // drawn from `rng`; `blocked(sample)` says whether opaque geometry hides a
    // sample from the state's point (the lighting knows, and sits above this).
    // Out of line: it runs once a run, and the calls it answers stay short.
    template <class Blocked>
    [[gnu::noinline]] void answer_anew(const HostState& state, const Light& light, int k, Rng& rng,
                                       const Blocked& blocked, LightSample& sample, float& cosine) {
        state_ = &state;
        tag_ = light.tag;
        draws_ = uint64_t(light.draws());
        first_ = k;
        count_ = std::min(SampleRun::capacity, light.samples() - k);
        start_ = rng;
        light.sample_run(k, count_, Vec3(state.point), Vec3(state.normal), rng, run_);
        for (int i = 0; i < count_; ++i)
            // A NaN cosine lets the sample through, as incident_light does.
            if (run_.cosine[size_t(i)] <= 0.0f || blocked(run_.at(i)))
                for (auto& channel : run_.color)
                    channel[size_t(i)] = 0.0f;
        take(0, rng, sample, cosine);
    }
    // A new surface takes the place of `state`: the run is no longer its samples.
    void forget(const HostState& state) {
        if (state_ == &state)
            state_ = nullptr;
    }

  private:
    void take(int i, Rng& rng, LightSample& sample, float& cosine) const {
        sample = run_.at(i);
        cosine = run_.cosine[size_t(i)];
        rng = rng.ahead(draws_);
    }

    const HostState* state_ = nullptr; // null: no run
    Tag tag_ = 0;
    uint64_t draws_ = 0;        // each sample's
    int first_ = 0, count_ = 0; // samples first_ to first_ + count_ - 1
    Rng start_;                 // the stream as sample first_ found it
    SampleRun run_;
};

} // namespace xr
