#include "render/render_settings.h"

#include "render/util/text.h"

namespace xr {

std::string unadaptive_warning(const RenderSettings& s) {
    if (!s.adaptive || s.fewest_samples() < s.samples)
        return {};
    const std::string samples = count_text(size_t(s.samples), "sample");
    return "adaptive sampling has no effect with " + samples + " a pixel and a minimum of " +
           std::to_string(s.min_samples) +
           " (--spp and --min-spp, or the scene's samples and min_samples): every pixel takes " +
           samples + "; the samples must exceed both the minimum and 2";
}

} // namespace xr
