#include "render/renderer.h"

#include "render/adaptive_sampler.h"

#include <tbb/blocked_range2d.h>
#include <tbb/enumerable_thread_specific.h>
#include <tbb/global_control.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <atomic>
#include <chrono>
#include <optional>

namespace xr {

namespace {

constexpr int tile_size = 16;

// Pixel (x, y) of the frame, whose values go to index `stored` of the film.
Color render_pixel(ThreadContext& context, const CameraView& camera, const RenderSettings& settings,
                   int x, int y, size_t stored, const PassSampler* passes,
                   PassSampler::Pixel& pass_pixel) {
    Color sum = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int i = 0; i < settings.samples; ++i) {
        const Color c =
            camera_sample(context, camera, settings, x, y, i, settings.samples, passes, pass_pixel);
        sum.r += c.r, sum.g += c.g, sum.b += c.b, sum.a += c.a;
    }
    if (passes)
        passes->store(stored, settings.samples, pass_pixel);
    context.stats.samples += uint64_t(settings.samples);
    const float n = 1.0f / float(settings.samples);
    return {sum.r * n, sum.g * n, sum.b * n, sum.a * n};
}

} // namespace

int available_threads() {
    return int(tbb::global_control::active_value(tbb::global_control::max_allowed_parallelism));
}

Film render_film(const RenderJob& job, RenderStats& stats, const RenderControl& control) {
    const auto start = std::chrono::steady_clock::now();
    const RenderSettings& settings = job.settings;
    // A window of the frame keeps the frame's tiles, cut to the window: its
    // pixels are sampled, with the frame's coordinates, as in the whole frame.
    const PixelRegion region =
        settings.region.value_or(PixelRegion{0, 0, settings.width, settings.height});
    Film film(region.width(), region.height());
    if (settings.region)
        film.window = FrameWindow{settings.width, settings.height, region};
    add_passes(film, job.passes);
    Image& image = film.beauty;
    tbb::enumerable_thread_specific<ThreadContext> contexts(
        [&] { return ThreadContext(job.scene, job.shader); });
    const CameraView camera(job.scene.camera, settings.width, settings.height);
    const int first_tx = region.x0 / tile_size, first_ty = region.y0 / tile_size;
    const int tiles_x = (region.x1 + tile_size - 1) / tile_size - first_tx;
    const int tiles_y = (region.y1 + tile_size - 1) / tile_size - first_ty;
    std::atomic<int> tiles_done{0};
    tbb::task_group_context own;
    tbb::task_group_context& work = control.group ? *control.group : own;
    RayLog* const ray_log = control.ray_log;
    if (ray_log)
        *ray_log = RayLog{tiles_x, tiles_y,
                          std::vector<std::vector<RecordedRay>>(size_t(tiles_x) * size_t(tiles_y))};

    auto render_tiles = [&](const tbb::blocked_range2d<int>& tiles) {
        ThreadContext& context = contexts.local();
        std::optional<PassSampler> sampler;
        if (!job.passes.empty())
            sampler.emplace(film);
        const PassSampler* passes = sampler ? &*sampler : nullptr;
        PassSampler::Pixel pass_pixel;
        std::optional<AdaptiveSampler> adaptive;
        if (settings.adaptive)
            adaptive.emplace(camera, settings, passes);
        for (int ty = tiles.rows().begin(); ty < tiles.rows().end(); ++ty)
            for (int tx = tiles.cols().begin(); tx < tiles.cols().end(); ++tx) {
                if (work.is_group_execution_cancelled())
                    return;
                if (ray_log)
                    context.ray_log = &ray_log->tiles[size_t(ty - first_ty) * size_t(tiles_x) +
                                                      size_t(tx - first_tx)];
                const int x0 = std::max(tx * tile_size, region.x0);
                const int y0 = std::max(ty * tile_size, region.y0);
                const int x1 = std::min((tx + 1) * tile_size, region.x1);
                const int y1 = std::min((ty + 1) * tile_size, region.y1);
                if (adaptive)
                    // The blocks the tile overlaps, on the frame's grid of blocks.
                    for (int by = y0 / adaptive_block_size; by * adaptive_block_size < y1; ++by)
                        for (int bx = x0 / adaptive_block_size; bx * adaptive_block_size < x1; ++bx)
                            adaptive->render_block(context, bx, by, {x0, y0, x1, y1}, region,
                                                   image);
                else
                    for (int y = y0; y < y1; ++y)
                        for (int x = x0; x < x1; ++x) {
                            const size_t stored = region.index(x, y);
                            image.pixels[stored] = render_pixel(context, camera, settings, x, y,
                                                                stored, passes, pass_pixel);
                        }
                const int done = ++tiles_done;
                if (control.progress)
                    control.progress(float(done) / float(tiles_x * tiles_y));
            }
    };
    // oneTBB runs no more threads than it allows, whatever an arena asks for.
    const int threads = settings.threads > 0 ? std::min(settings.threads, available_threads())
                                             : available_threads();
    tbb::task_arena arena(threads);
    arena.execute([&] {
        tbb::parallel_for(tbb::blocked_range2d<int>(first_ty, first_ty + tiles_y, 1, first_tx,
                                                    first_tx + tiles_x, 1),
                          render_tiles, tbb::simple_partitioner(), work);
    });

    stats = RenderStats{};
    for (const ThreadContext& context : contexts)
        stats += context.stats;
    stats.threads = int(contexts.size());
    stats.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return film;
}

Image render(const RenderJob& job, RenderStats& stats, const RenderControl& control) {
    return std::move(render_film(job, stats, control).beauty);
}

} // namespace xr
