// A light's samples from one surface point, worked out and their shadow rays
// cast a run at a time. The x-ray shader asks for a light's samples one by
// one, with the Phong factor of each in between; answering each call from a
// run made at its first keeps the samples' arithmetic (four at a time) and the
// shadow rays in tight loops, away from the calls' overhead. A run answers
// only calls that find the thread's random stream where the sample would have
// drawn from it, so every answer is the one a sample made on demand would
// give, whatever the shader asks for and in whatever order.
//
// A run is worked out with the state's point, normals and incident direction
// as they are at its first sample; they stay so until the state is entered
// anew, which forgets the run.
#pragma once

#include "render/host_records.h"
#include "render/light.h"
#include "render/phong.h"

#include <algorithm>
#include <cstring>

namespace xr {

class LightBatch {
  public:
    // Where sample k of the light tagged `tag` sits in the run in hand, as
    // seen from the state, when `rng` is where the sample would draw from;
    // -1 when the run does not hold it.
    [[gnu::always_inline]] int find(const HostState& state, Tag tag, int k, const Rng& rng) const {
        // Unsigned, so that any count the shader passes, negative too, falls outside.
        const unsigned i = unsigned(k) - unsigned(first_);
        if (state_ != &state || tag_ != tag || i >= unsigned(count_) ||
            !(rng == start_.ahead(uint64_t(i) * draws_)))
            return -1;
        return int(i);
    }
    // Works out a new run of the light's samples from k on (k < light.samples()),
    // drawn from `rng`; `blocked(sample)` says whether opaque geometry hides a
    // sample from the state's point (the lighting knows, and sits above this).
    // Sample k is then the run's first. Out of line: it runs once a run, and
    // the calls it answers stay short.
    template <class Blocked>
    [[gnu::noinline]] void start(const HostState& state, const Light& light, int k, const Rng& rng,
                                 const Blocked& blocked) {
        state_ = &state;
        tag_ = light.tag;
        draws_ = uint64_t(light.draws());
        first_ = k;
        count_ = std::min(SampleRun::capacity, light.samples() - k);
        start_ = rng;
        given_ = -1;
        light.sample_run(k, count_, Vec3(state.point), Vec3(state.normal), rng, run_);
        for (int i = 0; i < count_; ++i)
            // A NaN cosine lets the sample through, as incident_light does.
            if (run_.cosine[size_t(i)] <= 0.0f || blocked(run_.at(i)))
                for (auto& channel : run_.color)
                    channel[size_t(i)] = 0.0f;
        work_out_phong(state);
    }
    // Gives sample i of the run: `rng` moves on past its draws.
    void give(int i, Rng& rng) {
        given_ = i;
        rng = rng.ahead(draws_);
    }
    const SampleRun& run() const { return run_; }

    // The Phong cosine (phong_cosine()) of the sample last given, when
    // `direction` is that sample's to the bit and the state is the run's.
    bool phong_of_given(const HostState& state, const Vector3& direction, float& cosine) const {
        if (state_ != &state || given_ < 0)
            return false;
        const auto i = size_t(given_);
        const float given[3] = {run_.direction[0][i], run_.direction[1][i], run_.direction[2][i]};
        if (std::memcmp(given, &direction, sizeof given) != 0)
            return false;
        cosine = phong_[i];
        return true;
    }

    // A new surface takes the place of `state`: the run is no longer its samples.
    void forget(const HostState& state) {
        if (state_ == &state)
            state_ = nullptr;
    }

  private:
    void work_out_phong(const HostState& state) {
        const Vec3 n(state.normal), v(state.direction);
        for (size_t g = 0; g < size_t(count_); g += 4) {
            const Lanes cosine = phong_cosine<Lanes>(
                broadcast(n.x), broadcast(n.y), broadcast(n.z), load_lanes(&run_.direction[0][g]),
                load_lanes(&run_.direction[1][g]), load_lanes(&run_.direction[2][g]),
                broadcast(v.x), broadcast(v.y), broadcast(v.z));
            store_lanes(&phong_[g], cosine);
        }
    }

    const HostState* state_ = nullptr; // null: no run
    Tag tag_ = 0;
    uint64_t draws_ = 0;        // each sample's
    int first_ = 0, count_ = 0; // samples first_ to first_ + count_ - 1
    int given_ = -1;            // the run's sample last given, if any
    Rng start_;                 // the stream as sample first_ found it
    SampleRun run_{};           // zeros at first: lanes past a short run read initialised floats
    alignas(16) float phong_[SampleRun::capacity] = {};
};

} // namespace xr
