#include "render/serve/preview_stages.h"

#include <algorithm>

namespace xr {

std::vector<RenderSettings> preview_stages(const RenderSettings& full) {
    std::vector<RenderSettings> stages;
    auto add = [&](int divisor, int samples) {
        RenderSettings s = full;
        s.width = std::max(1, (full.width + divisor - 1) / divisor);
        s.height = std::max(1, (full.height + divisor - 1) / divisor);
        s.samples = std::min(samples, full.samples);
        const RenderSettings& last = stages.empty() ? s : stages.back();
        if (stages.empty() || s.width != last.width || s.height != last.height ||
            s.samples != last.samples)
            stages.push_back(s);
    };
    // One sample a pixel at an eighth, a quarter and half the size, then the
    // full size at one sample and at a quarter of the samples, then all.
    for (int divisor : {8, 4, 2, 1})
        add(divisor, 1);
    if (full.samples >= 8)
        add(1, full.samples / 4);
    add(1, full.samples);
    return stages;
}

} // namespace xr
