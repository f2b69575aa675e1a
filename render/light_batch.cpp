#include "render/light_batch.h"

#include "render/lighting.h"

namespace xr {

void LightBatch::answer_anew(ThreadContext& context, const HostState& state, const Light& light,
                             int k, LightSample& sample, float& cosine) {
    state_ = &state;
    tag_ = light.tag;
    draws_ = uint64_t(light.draws());
    first_ = k;
    count_ = std::min(SampleRun::capacity, light.samples() - k);
    start_ = context.rng;
    light.sample_run(k, count_, Vec3(state.point), Vec3(state.normal), context.rng, run_);
    for (int i = 0; i < count_; ++i)
        // A NaN cosine lets the sample through, as incident_light does.
        if (run_.cosine[size_t(i)] <= 0.0f || blocked(context, state, run_.at(i)))
            for (auto& channel : run_.color)
                channel[size_t(i)] = 0.0f;
    take(0, context.rng, sample, cosine);
}

} // namespace xr
