#include "render/thread_context.h"

namespace xr {

ThreadContext::ThreadContext(const Scene& scene_, qorv_xraytexture_fn shader_)
    : scene(scene_), shader(shader_) {
    for (auto& lists : light_lists)
        for (auto& list : lists)
            list.reserve(scene.lights().size());
    for (auto& values : param_values)
        values.resize(scene.largest_block() / sizeof(uint32_t));
}

void ThreadContext::record_ray(const RecordedRay& ray) {
    ray_log->push_back(ray);
}

} // namespace xr
