// What the material must show when a real host renders it.
#include "tests/render/render_fixture.h"

#include "render/output/turntable.h"
#include "render/sample_bounds.h"
#include "render/setup/model_loader.h"
#include "render/setup/scene_builder.h"
#include "render/setup/scene_file.h"
#include "render/setup/shapes.h"
#include "render/thread_context.h"

#include <cmath>
#include <cstring>

using namespace xr;

namespace {

const Color green = {0.1f, 0.8f, 0.2f, 1.0f};

Image render_plain_backdrop() {
    Scene scene = backdrop_scene();
    scene.commit();
    return render_small(scene);
}

} // namespace

TEST(XrayRender, FacingSurfaceAtPowerZeroShowsExactlyWhatLiesBehind) {
    Scene scene = backdrop_scene();
    XraySettings glass;
    param(glass, "power")[0] = 0.0f;
    // Highlights on: at power 0 they must not show.
    add(scene, pane({0.0f, 0.0f, 1.0f}, 0.8f), xray(scene, glass, {1}));
    scene.commit();
    RenderStats stats;
    const Image covered = render_small(scene, &stats);
    EXPECT_GT(stats.shader_calls, 0u);
    // The pane covers both the wall and the open environment.
    EXPECT_EQ(differing_pixels(covered, render_plain_backdrop(), 1e-4f), 0);
}

// Values beyond the scene file's bounds, which a scene built in code can
// hold, still give every pixel a value: an infinite highlight times the zero
// weight of a surface at power 0 is NaN, counted as black; a background whose
// two samples would sum to infinity is held at the largest sample a pixel
// sums. Both kinds are counted.
TEST(XrayRender, SamplesWithoutAFiniteValueAreBoundedAndCounted) {
    Scene scene = backdrop_scene();
    scene.environment.background = {Background::Kind::color, {3e38f, 3e38f, 3e38f}};
    XraySettings glaring;
    param(glaring, "power")[0] = 0.0f;
    param(glaring, "specular_weight")[0] = 3e38f;
    param(glaring, "specular") = {1e4f, 1e4f, 1e4f, 1.0f};
    add(scene, pane({0.0f, 0.0f, 1.0f}, 0.8f), xray(scene, glaring, {1}));
    scene.commit();
    RenderStats stats;
    const Image image = render_small(scene, &stats);
    int black = 0;
    for (const Color& c : image.pixels) {
        ASSERT_TRUE(std::isfinite(c.r) && std::isfinite(c.g) && std::isfinite(c.b) &&
                    std::isfinite(c.a));
        black += c.r == 0.0f;
    }
    EXPECT_GT(black, 0);
    EXPECT_EQ(image.at(63, 0).g, max_sample_value);
    EXPECT_GE(stats.unsound, uint64_t(black) + 2u);
}

// Its colour's alpha is the share of the pixel the surface covers; on an
// opaque background the rest shows the background, as in a composite.
TEST(XrayRender, InvertedSurfaceAtPowerZeroShowsItsOwnColour) {
    Scene scene = backdrop_scene();
    scene.environment.background = {Background::Kind::color, {0.1f, 0.2f, 0.4f}};
    const Color tint = {0.2f, 0.6f, 0.3f, 0.5f};
    add(scene, pane({0.0f, 0.0f, 1.0f}, 0.8f), xray(scene, flat(tint)));
    scene.commit();
    const Image image = render_small(scene);
    expect_near_color(image.at(20, 32), {0.25f, 0.7f, 0.5f, 1.0f});
    expect_near_color(image.at(44, 32), {0.25f, 0.7f, 0.5f, 1.0f});
    scene.environment.background.kind = Background::Kind::transparent;
    expect_near_color(render_small(scene).at(20, 32), tint);
}

// The colour reaches inwards from the silhouettes as far as the power takes
// it: a lower power keeps it to them.
TEST(XrayRender, SilhouettesKeepTheSurfaceColourFurtherInAtHigherPower) {
    const Color rim = {1.0f, 0.0f, 0.0f, 1.0f};
    const Image backdrop = render_plain_backdrop();
    for (const float power : {16.0f, 1.0f}) {
        Scene scene = backdrop_scene();
        XraySettings red;
        param(red, "color") = {rim.r, rim.g, rim.b, rim.a};
        param(red, "power")[0] = power;
        param(red, "specular_weight")[0] = 0.0f;
        add(scene, sphere({0.0f, 0.0f, 0.0f}, 1.0f), xray(scene, red));
        scene.commit();
        const Image image = render_small(scene);
        // Near the rim, facing the viewer at a grazing angle.
        if (power == 16.0f) {
            expect_near_color(image.at(54, 32), rim, 1e-3f);
            expect_near_color(image.at(10, 32), rim, 1e-3f);
        }
        // Halfway out, where the facing cosine is about 0.73: nearly all red
        // at power 16, mostly see-through at power 1 (red has no green).
        const float see_through = image.at(44, 32).g / backdrop.at(44, 32).g;
        if (power == 16.0f)
            EXPECT_LT(see_through, 0.05f);
        else
            EXPECT_NEAR(see_through, 0.73f, 0.05f);
        // Through the middle, nearly all see-through.
        expect_near_color(image.at(32, 32), backdrop.at(32, 32), 0.02f);
    }
}

TEST(XrayRender, NestedXrayObjectIsShadedThroughTheOuterOne) {
    Scene scene = backdrop_scene();
    XraySettings clear;
    param(clear, "power")[0] = 0.0f;
    add(scene, sphere({0.0f, 0.0f, 0.0f}, 1.2f), xray(scene, clear));
    add(scene, sphere({0.0f, 0.0f, 0.0f}, 0.5f), xray(scene, flat(green)));
    scene.commit();
    RenderStats stats;
    const Image image = render_small(scene, &stats);
    expect_near_color(image.at(32, 32), green);
    EXPECT_GE(stats.deepest, 1); // the inner sphere is shaded inside the outer one's call
}

// Boxes x-rayed in a row, two surfaces each, the last nested in all the
// others' calls: up to the nesting limit they show the wall behind exactly;
// one box more, and the rays that reach the limit are counted.
TEST(XrayRender, RaysSeeThroughAsManySurfacesAsTheNestingLimit) {
    for (const int boxes : {max_depth / 2, max_depth / 2 + 1}) {
        Scene scene = backdrop_scene();
        XraySettings clear;
        param(clear, "power")[0] = 0.0f;
        const Material& glass = xray(scene, clear);
        for (int i = 0; i < boxes; ++i) {
            const float z = -1.5f + 3.0f * float(i) / float(boxes);
            add(scene, box({-2.0f, -2.0f, z}, {2.0f, 2.0f, z + 0.005f}), glass);
        }
        scene.commit();
        RenderStats stats;
        const Image image = render_small(scene, &stats, 2, 16);
        Scene backdrop = backdrop_scene();
        backdrop.commit();
        const int differing =
            differing_pixels(image, render_small(backdrop, nullptr, 2, 16), 1e-4f);
        if (boxes == max_depth / 2) {
            EXPECT_EQ(differing, 0);
            EXPECT_EQ(stats.cut_off, 0u);
        } else {
            EXPECT_GT(differing, 0); // the wall's half shows the environment
            EXPECT_GT(stats.cut_off, 0u);
        }
    }
}

TEST(XrayRender, ConnectedColourComesFromTheHostShader) {
    Scene scene = backdrop_scene();
    Texture stripes;
    stripes.kind = Texture::Kind::stripes;
    stripes.a = {1.0f, 0.0f, 0.0f, 1.0f};
    stripes.b = {0.0f, 0.0f, 1.0f, 1.0f};
    stripes.axis = {1.0f, 0.0f, 0.0f};
    stripes.scale = 2.0f;
    // The colour is the declaration's first parameter.
    add(scene, pane({0.0f, 0.0f, 1.0f}, 0.8f),
        xray(scene, flat({1.0f, 1.0f, 1.0f, 1.0f}), {}, {scene.add_texture(stripes)}));
    scene.commit();
    const Image image = render_small(scene);
    int red = 0, blue = 0;
    for (int x = 16; x < 48; ++x) {
        const Color& c = image.at(x, 32);
        red += c.r == 1.0f && c.b == 0.0f;
        blue += c.r == 0.0f && c.b == 1.0f;
    }
    EXPECT_GT(red, 5);
    EXPECT_GT(blue, 5);
}

// The xray.weight pass works out the shader's see-through weight on the host
// side: the two formulas are kept in step only by this test. A black, opaque
// surface over a white background shows its weight as its red channel.
TEST(XrayRender, TheXrayPassHoldsTheWeightTheShaderSeesThroughBy) {
    const struct {
        float power;
        bool invert;
        bool textured; // power connected to stripes of 1 and 4 instead
    } rows[] = {{0.5f, false, false}, {2.0f, false, false}, {7.0f, false, false},
                {2.0f, true, false},  {7.0f, true, false},  {1.0f, false, true}};
    for (const auto& row : rows) {
        Scene scene;
        // From far off, through a narrow view: rays leave the cap through its open back.
        scene.camera.eye = {0.0f, 0.0f, 100.0f};
        scene.camera.target = {0.0f, 0.0f, 0.0f};
        scene.camera.fov_y = 1.3f;
        scene.environment.background = {Background::Kind::color, {1.0f, 1.0f, 1.0f}};
        XraySettings black = flat({0.0f, 0.0f, 0.0f, 1.0f});
        param(black, "power")[0] = row.power;
        param(black, "invert")[0] = row.invert ? 1.0f : 0.0f;
        std::vector<Tag> connections;
        if (row.textured) {
            Texture stripes;
            stripes.kind = Texture::Kind::stripes;
            stripes.a = {1.0f, 1.0f, 1.0f, 1.0f};
            stripes.b = {4.0f, 4.0f, 4.0f, 1.0f};
            stripes.scale = 3.0f;
            connections = {0, scene.add_texture(stripes)}; // power follows the colour
        }
        // The front of a sphere: facings from square to nearly grazing, and
        // nothing behind it but the background.
        Mesh cap = sphere({}, 1.0f);
        std::vector<uint32_t> front;
        for (size_t t = 0; t < cap.indices.size(); t += 3)
            if (cap.positions[cap.indices[t]].z >= 0.1f &&
                cap.positions[cap.indices[t + 1]].z >= 0.1f &&
                cap.positions[cap.indices[t + 2]].z >= 0.1f)
                front.insert(front.end(), &cap.indices[t], &cap.indices[t] + 3);
        cap.indices = front;
        add(scene, std::move(cap), xray(scene, black, {}, connections));
        scene.commit();
        RenderSettings settings;
        settings.width = settings.height = 32;
        settings.samples = 1; // each pixel the sphere or the background, not both
        RenderStats stats;
        const Film film =
            render_film({scene, xray_shader(), settings, {Pass::depth, Pass::xray}}, stats);
        const std::vector<float>& weight = film.find("xray.weight")->values;
        const std::vector<float>& depth = film.find("Z")->values;
        int seen = 0;
        for (size_t i = 0; i < weight.size(); ++i) {
            if (depth[i] == INFINITY)
                continue;
            ++seen;
            EXPECT_NEAR(weight[i], film.beauty.pixels[i].r, 1e-5f)
                << "power " << row.power << (row.invert ? " inverted" : "")
                << (row.textured ? " textured" : "") << ", pixel " << i;
        }
        EXPECT_GT(seen, 100);
    }
}

// Cells stay well defined where a coordinate times the scale passes what a
// whole number holds, or is not finite; every float that large is even. A
// conversion out of range is caught by the asan build, which checks for it.
TEST(XrayRender, TextureCellsOfAnySizeAlternate) {
    Texture t;
    t.a = {1.0f, 0.0f, 0.0f, 1.0f};
    t.b = {0.0f, 0.0f, 1.0f, 1.0f};
    for (const Texture::Kind kind : {Texture::Kind::checker, Texture::Kind::stripes}) {
        t.kind = kind;
        t.scale = 1e30f;
        EXPECT_EQ(t.eval({1.0f, -3.0f, 0.0f}).r, 1.0f);
        EXPECT_EQ(t.eval({INFINITY, NAN, 0.0f}).r, 1.0f);
        // Centred on whole coordinates: a face lying on one, rounded either
        // way, is one colour.
        t.scale = 1.0f;
        for (const float y : {-3.0f, -2.0f, 0.0f, 1.0f, 2.0f}) {
            const float expected = int(y) % 2 ? 0.0f : 1.0f;
            for (const float at : {std::nextafter(y, -INFINITY), y, std::nextafter(y, INFINITY)})
                EXPECT_EQ(t.eval({0.0f, at, 0.0f}).r, expected) << int(kind) << " at " << at;
        }
    }
}

TEST(XrayRender, FlaggedSurfacesAreSkippedWhenAsked) {
    XraySettings skipping = flat(green);
    param(skipping, "skip_flagged")[0] = 1.0f;
    const Image plain = render_plain_backdrop();

    // Flagged panes give no result anywhere: the host looks through them, as
    // many as a finned or many-part model puts in a ray's way.
    Scene flagged = backdrop_scene();
    const Material& skipped = xray(flagged, skipping);
    for (int i = 0; i < 100; ++i)
        add(flagged, pane({0.0f, 0.0f, 1.0f - 0.02f * float(i)}, 0.8f), skipped, true);
    flagged.commit();
    EXPECT_EQ(differing_pixels(render_small(flagged), plain, 1e-4f), 0);

    // A pane in front of a flagged wall gives no result where the wall lies behind it.
    auto flagged_wall = [&](int panes, RenderStats* stats = nullptr, int size = 64) {
        Scene scene;
        scene.camera = backdrop_scene().camera;
        add(scene, pane({-5.0f, 0.0f, -2.0f}, 5.0f), scene.add_material(Vec3{0.5f, 0.5f, 0.5f}),
            true);
        for (int i = 0; i < panes; ++i)
            add(scene, pane({0.0f, 0.0f, 1.0f - 0.1f * float(i)}, 0.8f), xray(scene, skipping));
        scene.commit();
        return render_small(scene, stats, 2, size);
    };
    const Image image = flagged_wall(1);
    expect_near_color(image.at(20, 32), flagged_wall(0).at(20, 32), 1e-4f);
    expect_near_color(image.at(44, 32), green);
    // Each such pane traces what lies behind it twice, through itself and then
    // beyond it: a sample's rays double with each, until its budget stops them.
    RenderStats stats;
    flagged_wall(17, &stats, 8);
    EXPECT_GT(stats.starved, 0u);
    EXPECT_EQ(stats.cut_off, 0u);
}

// Looking straight along the up vector, rays still fan out across the view,
// and the second frame of a four-frame turntable turns them a quarter turn.
TEST(XrayRender, ACameraLookingStraightDownSeesTheWholeView) {
    Camera camera;
    camera.eye = {0.0f, 5.0f, 0.0f};
    camera.target = {0.0f, 0.0f, 0.0f};
    const CameraView view(camera, 64, 64);
    EXPECT_NEAR(view.direction(32, 32).y, -1.0f, 1e-6f);
    EXPECT_GT(length(view.direction(0, 0) - view.direction(64, 64)), 0.5f);

    const CameraView turned(turntable_camera(camera, 2, 4), 64, 64);
    const Vec3 corner = view.direction(0, 0);
    EXPECT_LT(length(turned.direction(0, 0) - Vec3{corner.z, corner.y, -corner.x}), 1e-6f);
}

// A matte plate under a square light of the same size, seen from straight
// above: lit alike on either side of its middle, across and down, however the
// light's samples and the pixel's fall, adaptive rounds too (every pixel stops
// after its first 16). One sample a pixel is noisy: the halves differ by a few
// per cent, where lighting from the light's first cells alone made them
// differ fourfold.
TEST(XrayRender, ARectLightLightsAllOfThePlateUnderIt) {
    const struct {
        int light_samples, pixel_samples;
        bool adaptive = false;
    } cases[] = {{64, 16}, {16, 1}, {16, 4}, {16, 16}, {16, 24}, {3, 3}, {8, 8}, {25, 64, true}};
    constexpr int size = 64;
    for (const auto& c : cases) {
        Scene scene;
        scene.camera.eye = {0.0f, 0.0f, 6.0f};
        scene.camera.target = {0.0f, 0.0f, 0.0f};
        scene.camera.fov_y = 30.0f;
        add(scene, pane({0.0f, 0.0f, 0.0f}, 2.0f), scene.add_material(Vec3{0.8f, 0.8f, 0.8f}));
        // Facing down the z axis: its columns run along y, its rows along x.
        scene.add_light(Light::rect({-2.0f, -2.0f, 1.0f}, {0.0f, 4.0f, 0.0f}, {4.0f, 0.0f, 0.0f},
                                    {3.0f, 3.0f, 3.0f}, c.light_samples));
        scene.commit();
        RenderSettings settings;
        settings.width = settings.height = size;
        settings.samples = c.pixel_samples;
        settings.adaptive = c.adaptive;
        settings.noise = max_noise;
        RenderStats stats;
        const Image image = render({scene, xray_shader(), settings}, stats);
        double left = 0.0, right = 0.0, top = 0.0, bottom = 0.0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const double v = image.at(x, y).g;
                (x < size / 2 ? left : right) += v;
                (y < size / 2 ? top : bottom) += v;
            }
        const std::string where = std::to_string(c.light_samples) + " light samples, " +
                                  std::to_string(c.pixel_samples) + " per pixel";
        EXPECT_NEAR(left / right, 1.0, 0.06) << where;
        EXPECT_NEAR(top / bottom, 1.0, 0.06) << where;
    }
}

// A framed sphere fits the image whatever its shape: the middles of its four
// edges show the background, its centre the sphere.
TEST(XrayRender, FramingFitsTheModelIntoTallAndWideImages) {
    const struct { int width, height; } sizes[] = {{24, 64}, {64, 24}, {32, 32}};
    for (const auto& size : sizes) {
        SceneDescription d;
        ModelDescription ball;
        ball.shape = Shape{Shape::Kind::sphere, 1.0f, 0.25f, {}};
        d.models = {ball};
        d.environment.floor = false;
        d.environment.background.kind = Background::Kind::transparent;
        d.settings.width = size.width;
        d.settings.height = size.height;
        d.settings.samples = 1;
        RenderStats stats;
        const Image image =
            render({*build_scene(d, load_parts(d)), xray_shader(), d.settings}, stats);
        const int w = size.width, h = size.height;
        const std::string where = std::to_string(w) + "x" + std::to_string(h);
        EXPECT_EQ(image.at(w / 2, h / 2).a, 1.0f) << where;
        for (const auto& [x, y] : {std::pair{0, h / 2}, {w - 1, h / 2}, {w / 2, 0}, {w / 2, h - 1}})
            EXPECT_EQ(image.at(x, y).a, 0.0f) << where << " at " << x << ", " << y;
    }
}

TEST(XrayRender, SameSeedGivesTheSameImageOnOneAndTwoThreads) {
    const SceneDescription d = built_in_scene();
    const std::unique_ptr<Scene> scene = build_scene(d, load_parts(d));
    RenderStats one_stats, two_stats;
    const Image one = render_small(*scene, &one_stats, 1);
    const Image two = render_small(*scene, &two_stats, 2);
    EXPECT_EQ(std::memcmp(one.pixels.data(), two.pixels.data(), one.pixels.size() * sizeof(Color)),
              0);
    EXPECT_EQ(one_stats.rays, two_stats.rays);
    EXPECT_GT(one_stats.shader_calls, 0u);
}

// Rays leaving a surface must not find it again, however far from the origin
// it lies: a solid block inside an x-ray room, seen from within, renders the
// same at the origin and 1e5 away, from the same number of shader calls (one
// per camera ray: the wall it meets, and nothing behind). Coordinates are
// multiples of 1/128, which floats hold exactly at 1e5, and no edge is seen
// through the x-ray walls: hit points there are rounded to 1/128, which may
// move such edges.
TEST(XrayRender, FarFromTheOriginRendersTheSameAsAtIt) {
    auto render_at = [](float x, RenderStats& stats) {
        SceneDescription d;
        ModelDescription room, block;
        room.shape = block.shape = Shape{Shape::Kind::box, 1.0f, 0.25f, {8.0f, 6.0f, 12.0f}};
        block.shape->size = {1.0f, 1.25f, 0.75f};
        room.name = "room";
        block.name = "block";
        room.transform.translate = {x, 0.0f, 0.0f};
        block.transform.translate = {x - 0.5f, -1.0f, -2.0f};
        d.models = {room, block};
        Assignment glass;
        glass.parts = "room";
        glass.look = Assignment::Look::xray;
        d.assign = {glass};
        LightDescription lamp;
        lamp.name = "lamp";
        lamp.position = {x + 1.0f, 2.0f, 2.0f};
        lamp.intensity = 20.0f;
        d.lights = {lamp};
        d.camera.eye = Vec3{x, 0.5f, 3.0f};
        d.camera.target = Vec3{x, 0.0f, 0.0f};
        d.camera.fov = 60.0f;
        d.environment.floor = false;
        const std::unique_ptr<Scene> scene = build_scene(d, load_parts(d));
        return render_small(*scene, &stats);
    };
    RenderStats near_stats, far_stats;
    const Image near = render_at(0.0f, near_stats);
    const Image far = render_at(1e5f, far_stats);
    EXPECT_EQ(far_stats.shader_calls, near_stats.shader_calls);
    EXPECT_EQ(differing_pixels(near, far, 1e-3f), 0);
}

// A studio scene as large as coordinates may reach renders as a small one: its
// floor's normals, its lights and its rays stay finite and aimed. So does one
// a few micrometres across: the studio and its camera are sized to it.
TEST(XrayRender, TheLargestScenesRenderAsSmallOnes) {
    auto describe = [](float size) {
        SceneDescription d;
        ModelDescription block, ball;
        block.shape = Shape{Shape::Kind::box, 1.0f, 0.25f, {size, size, size}};
        ball.shape = Shape{Shape::Kind::sphere, 0.4f * size, 0.25f, {}};
        block.name = "block";
        ball.name = "ball";
        block.transform.translate = {-0.4f * size, 0.0f, 0.0f};
        ball.transform.translate = {0.4f * size, 0.0f, 0.4f * size};
        d.models = {block, ball};
        Assignment glass;
        glass.parts = "ball";
        glass.look = Assignment::Look::xray;
        d.assign = {glass};
        return d;
    };
    RenderStats small_stats, large_stats, tiny_stats;
    SceneDescription d = describe(1.0f);
    const Image small = render_small(*build_scene(d, load_parts(d)), &small_stats);
    d = describe(max_coordinate / 2.0f);
    const auto large_scene = build_scene(d, load_parts(d));
    const Image large = render_small(*large_scene, &large_stats);
    EXPECT_EQ(large_stats.shader_calls, small_stats.shader_calls);
    EXPECT_EQ(differing_pixels(small, large, 0.01f), 0);
    const SceneDescription tiny = describe(std::ldexp(1.0f, -18));
    const Image chip = render_small(*build_scene(tiny, load_parts(tiny)), &tiny_stats);
    EXPECT_EQ(tiny_stats.shader_calls, small_stats.shader_calls);
    EXPECT_EQ(differing_pixels(small, chip, 0.01f), 0);

    // The camera framing placed, stated in a scene file (as the page sends it
    // back when it orbits), reads back.
    d.camera.eye = large_scene->camera.eye;
    d.camera.target = large_scene->camera.target;
    EXPECT_NO_THROW(parse_scene(scene_to_json(d).dump(), "placed.json", "."));
}
