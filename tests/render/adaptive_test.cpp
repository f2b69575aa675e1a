// Adaptive sampling: the same image whatever the threads and tiles, the
// uniform render when it may not adapt, and its samples where the noise is.
#include "tests/render/render_fixture.h"

#include "render/adaptive_sampler.h"
#include "render/setup/model_loader.h"
#include "render/setup/scene_builder.h"
#include "render/setup/scene_file.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>
#include <utility>

using namespace xr;

namespace {

// The passes the tests read beside the beauty.
const std::vector<Pass> passes = {Pass::depth, Pass::id, Pass::samples};

RenderSettings adaptive_settings() {
    RenderSettings s;
    // Sides that are no multiple of the blocks or the tiles.
    s.width = 44;
    s.height = 29;
    s.adaptive = true;
    s.min_samples = 4;
    s.samples = 64;
    s.noise = 1.0f;
    return s;
}

bool same_film(const Film& a, const Film& b) {
    if (std::memcmp(a.beauty.pixels.data(), b.beauty.pixels.data(),
                    a.beauty.pixels.size() * sizeof(Color)) != 0 ||
        a.channels.size() != b.channels.size())
        return false;
    for (size_t c = 0; c < a.channels.size(); ++c)
        if (a.channels[c].name != b.channels[c].name ||
            std::memcmp(a.channels[c].values.data(), b.channels[c].values.data(),
                        a.channels[c].values.size() * sizeof(float)) != 0)
            return false;
    return true;
}

std::unique_ptr<Scene> built_in(bool transparent = false) {
    SceneDescription d = built_in_scene();
    if (transparent)
        d.environment.background = {Background::Kind::transparent, {}};
    return build_scene(d, load_parts(d));
}

} // namespace

// Blocks decide from their own samples alone: one thread or two, the frame's
// tiles or any windows over it, in any order, the pixels are the same; also
// where alpha decides, on a transparent background.
TEST(AdaptiveSampling, TheSameImageOnAnyThreadsAndInAnyWindows) {
    for (const bool transparent : {false, true}) {
        SCOPED_TRACE(transparent ? "transparent background" : "studio background");
        const std::unique_ptr<Scene> scene = built_in(transparent);
        RenderSettings settings = adaptive_settings();
        RenderStats one_stats, two_stats;
        settings.threads = 1;
        const Film one = render_film({*scene, xray_shader(), settings, passes}, one_stats);
        settings.threads = 2;
        const Film two = render_film({*scene, xray_shader(), settings, passes}, two_stats);
        EXPECT_TRUE(same_film(one, two));
        EXPECT_EQ(one_stats.samples, two_stats.samples);
        EXPECT_EQ(one_stats.rays, two_stats.rays);

        // Windows of 5 x 3 pixels, the last first, as other tiles would ask.
        const PixelRegion frame{0, 0, settings.width, settings.height};
        Film windows(settings.width, settings.height);
        add_passes(windows, passes);
        ThreadContext context(*scene, xray_shader());
        const CameraView camera(scene->camera, settings.width, settings.height);
        const PassSampler pass_sampler(windows);
        AdaptiveSampler sampler(camera, settings, &pass_sampler);
        for (int y0 = (settings.height - 1) / 3 * 3; y0 >= 0; y0 -= 3)
            for (int x0 = (settings.width - 1) / 5 * 5; x0 >= 0; x0 -= 5) {
                const int x1 = std::min(x0 + 5, settings.width),
                          y1 = std::min(y0 + 3, settings.height);
                for (int by = y0 / adaptive_block_size; by * adaptive_block_size < y1; ++by)
                    for (int bx = x0 / adaptive_block_size; bx * adaptive_block_size < x1; ++bx)
                        sampler.render_block(context, bx, by, {x0, y0, x1, y1}, frame,
                                             windows.beauty);
            }
        EXPECT_TRUE(same_film(one, windows));

        // A region of the frame, on neither the blocks' grid nor the tiles', holds
        // the frame's own pixels and passes there.
        settings.region = PixelRegion{13, 7, 41, 29};
        const Film region = render_film({*scene, xray_shader(), settings, passes}, two_stats);
        for (int y = settings.region->y0; y < settings.region->y1; ++y)
            for (int x = settings.region->x0; x < settings.region->x1; ++x) {
                const size_t in_frame = frame.index(x, y), in_region = settings.region->index(x, y);
                ASSERT_EQ(std::memcmp(&one.beauty.pixels[in_frame],
                                      &region.beauty.pixels[in_region], sizeof(Color)),
                          0)
                    << x << "," << y;
                for (size_t c = 0; c < one.channels.size(); ++c)
                    ASSERT_EQ(one.channels[c].values[in_frame],
                              region.channels[c].values[in_region])
                        << one.channels[c].name << " at " << x << "," << y;
            }
    }
}

// With as few samples allowed as many, nothing adapts: the image and its
// passes are the uniform render's, to the bit.
TEST(AdaptiveSampling, EqualBoundsGiveTheUniformRender) {
    const std::unique_ptr<Scene> scene = built_in();
    RenderSettings settings = adaptive_settings();
    settings.min_samples = settings.samples = 6;
    RenderStats stats;
    const Film adaptive = render_film({*scene, xray_shader(), settings, passes}, stats);
    settings.adaptive = false;
    const Film uniform = render_film({*scene, xray_shader(), settings, passes}, stats);
    EXPECT_TRUE(same_film(adaptive, uniform));
    for (float n : uniform.find("samples")->values)
        ASSERT_EQ(n, 6.0f);
}

// The samples pass counts each pixel's samples: the fewest over a plain
// background, more along the checkers' edges, none beyond the bounds, and in
// all what the render counted. A minimum of one sample still judges a pixel
// from two: one says nothing of its noise. Noise in alpha alone counts too.
TEST(AdaptiveSampling, TheSamplesPassShowsWhereTheNoiseIs) {
    Scene scene = backdrop_scene();
    scene.environment.background = {Background::Kind::color, {0.2f, 0.3f, 0.4f}};
    scene.commit();
    for (const auto& [least, fewest] : {std::pair{4, 4.0f}, std::pair{1, 2.0f}}) {
        SCOPED_TRACE("min_samples " + std::to_string(least));
        RenderSettings settings = adaptive_settings();
        settings.min_samples = least;
        RenderStats stats;
        const Film film = render_film({scene, xray_shader(), settings, passes}, stats);
        const std::vector<float>& samples = film.find("samples")->values;
        const std::vector<float>& depth = film.find("Z")->values;
        double total = 0.0;
        int plain = 0, more = 0;
        for (size_t i = 0; i < samples.size(); ++i) {
            ASSERT_GE(samples[i], fewest);
            ASSERT_LE(samples[i], float(settings.samples));
            total += samples[i];
            // Background, as far as three pixels to its left: well away from the wall's edge.
            if (i % size_t(settings.width) >= 3 &&
                std::all_of(&depth[i - 3], &depth[i + 1], [](float z) { return z == INFINITY; })) {
                EXPECT_EQ(samples[i], fewest) << "pixel " << i;
                ++plain;
            }
            more += samples[i] > fewest;
        }
        EXPECT_EQ(total, double(stats.samples));
        EXPECT_GT(plain, 20);
        EXPECT_GT(more, 20);
    }
    // A window off the blocks' grid counts its own pixels' samples, not its blocks'.
    RenderSettings window = adaptive_settings();
    window.region = PixelRegion{3, 5, 30, 17};
    RenderStats window_stats;
    const Film part = render_film({scene, xray_shader(), window, passes}, window_stats);
    const std::vector<float>& counted = part.find("samples")->values;
    EXPECT_EQ(std::accumulate(counted.begin(), counted.end(), 0.0), double(window_stats.samples));

    // A black ball on a transparent background differs from it in alpha
    // alone: a pixel its edge crosses goes on sampling.
    Scene ball;
    ball.camera = scene.camera;
    add(ball, sphere({0.0f, 0.0f, 0.0f}, 1.0f), ball.add_material(Vec3{}));
    ball.environment.background = {Background::Kind::transparent, {}};
    ball.commit();
    const RenderSettings settings = adaptive_settings();
    RenderStats ball_stats;
    const Film edge = render_film({ball, xray_shader(), settings, passes}, ball_stats);
    int partial = 0;
    for (size_t i = 0; i < edge.beauty.pixels.size(); ++i) {
        const Color& c = edge.beauty.pixels[i];
        ASSERT_EQ(c.r + c.g + c.b, 0.0f);
        if (c.a > 0.0f && c.a < 1.0f) {
            EXPECT_GT(edge.find("samples")->values[i], float(settings.min_samples))
                << "pixel " << i;
            ++partial;
        }
    }
    EXPECT_GT(partial, 20);
}
