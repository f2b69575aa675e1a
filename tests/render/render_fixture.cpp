#include "tests/render/render_fixture.h"

#include "render/shader_library.h"

using namespace xr;

ShaderFn xray_shader() {
    static const ShaderLibrary library(default_shader_path());
    return library.shader();
}

Mesh pane(Vec3 center, float half) {
    Mesh mesh;
    const Vec3 n{0.0f, 0.0f, 1.0f};
    mesh.positions = {center + Vec3{-half, -half, 0}, center + Vec3{half, -half, 0},
                      center + Vec3{half, half, 0}, center + Vec3{-half, half, 0}};
    mesh.add_triangle(0, 1, 2, n, n, n);
    mesh.add_triangle(0, 2, 3, n, n, n);
    return mesh;
}

Scene backdrop_scene() {
    Scene scene;
    scene.camera.eye = {0.0f, 0.0f, 5.0f};
    scene.camera.target = {0.0f, 0.0f, 0.0f};
    scene.camera.fov_y = 30.0f;
    Texture checks;
    checks.kind = Texture::Kind::checker;
    checks.a = {0.9f, 0.2f, 0.1f, 1.0f};
    checks.b = {0.1f, 0.3f, 0.9f, 1.0f};
    checks.scale = 2.0f;
    const Tag texture = scene.add_texture(checks);
    Mesh wall = pane({-5.0f, 0.0f, -2.0f}, 5.0f);
    scene.add_object(std::move(wall), scene.add_material(Material::matte({}, texture)));
    scene.add_light(Light::point(1, {2.0f, 2.0f, 4.0f}, {30.0f, 30.0f, 30.0f}));
    return scene;
}

Image render_small(const Scene& scene, RenderStats* stats, int threads, int size) {
    RenderSettings settings;
    settings.width = settings.height = size;
    settings.samples = 2;
    settings.threads = threads;
    RenderStats ignored;
    return render(scene, xray_shader(), settings, stats ? *stats : ignored);
}

XraySettings flat(Color color) {
    XraySettings s;
    s.color = color;
    s.power = 0.0f;
    s.invert = true;
    s.specular_weight = 0.0f;
    return s;
}

void expect_near_color(const Color& actual, const Color& expected, float tolerance) {
    EXPECT_NEAR(actual.r, expected.r, tolerance);
    EXPECT_NEAR(actual.g, expected.g, tolerance);
    EXPECT_NEAR(actual.b, expected.b, tolerance);
    EXPECT_NEAR(actual.a, expected.a, tolerance);
}
