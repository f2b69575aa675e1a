#include "render/render_to_file.h"

#include "render/system_memory.h"

#include <stdexcept>
#include <string>

namespace xr {

void check_image_fits(const RenderSettings& s) {
    const double bytes = double(s.width) * double(s.height) * (sizeof(Color) + 4);
    if (bytes > double(available_memory()))
        throw std::runtime_error("a " + std::to_string(s.width) + "x" + std::to_string(s.height) +
                                 " image needs " + std::to_string(int(bytes / (1 << 20))) +
                                 " MiB, more than the memory available");
}

RenderStats render_to_file(const Scene& scene, ShaderFn shader, const RenderSettings& settings,
                           OutputFile& out, const ProgressFn& progress,
                           tbb::task_group_context* group) {
    RenderStats stats;
    const Image image = render(scene, shader, settings, stats, progress, group);
    if (group && group->is_group_execution_cancelled())
        throw std::runtime_error("the render was stopped");
    const std::vector<uint8_t> png = encode_png(image);
    if (png.empty())
        throw std::runtime_error("cannot encode the image as PNG");
    out.commit(png);
    return stats;
}

} // namespace xr
