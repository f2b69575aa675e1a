#include "tests/render/render_fixture.h"

#include "render/shader_library.h"

#include <stdexcept>

using namespace xr;

qorv_xraytexture_fn xray_shader() {
    static const ShaderLibrary library(default_shader_path());
    return library.shader();
}

Mesh pane(Vec3 center, float half) {
    Mesh mesh;
    mesh.positions = {center + Vec3{-half, -half, 0}, center + Vec3{half, -half, 0},
                      center + Vec3{half, half, 0}, center + Vec3{-half, half, 0}};
    mesh.normals.assign(4, {0.0f, 0.0f, 1.0f});
    mesh.indices = {0, 1, 2, 0, 2, 3};
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
    add(scene, pane({-5.0f, 0.0f, -2.0f}, 5.0f),
        scene.add_material(Vec3{}, scene.add_texture(checks)));
    scene.add_light(Light::point({2.0f, 2.0f, 4.0f}, {30.0f, 30.0f, 30.0f}));
    return scene;
}

void add(Scene& scene, Mesh mesh, const Material& material, bool flagged) {
    scene.add_object(std::make_shared<Mesh>(std::move(mesh)), material, flagged);
}

const Material& xray(Scene& scene, const XraySettings& settings, std::vector<Tag> lights,
                     std::vector<Tag> connections) {
    return scene.add_material(XrayBlock(settings, lights, connections));
}

Image render_small(const Scene& scene, RenderStats* stats, int threads, int size) {
    RenderSettings settings;
    settings.width = settings.height = size;
    settings.samples = 2;
    settings.threads = threads;
    RenderStats ignored;
    return render({scene, xray_shader(), settings}, stats ? *stats : ignored);
}

XraySettings flat(Color color) {
    XraySettings s;
    param(s, "color") = {color.r, color.g, color.b, color.a};
    param(s, "power")[0] = 0.0f;
    param(s, "invert")[0] = 1.0f;
    param(s, "specular_weight")[0] = 0.0f;
    return s;
}

int differing_pixels(const Image& a, const Image& b, float tolerance) {
    int n = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        const Color &p = a.pixels[i], &q = b.pixels[i];
        n += std::fabs(p.r - q.r) > tolerance || std::fabs(p.g - q.g) > tolerance ||
             std::fabs(p.b - q.b) > tolerance || std::fabs(p.a - q.a) > tolerance;
    }
    return n;
}

void expect_near_color(const Color& actual, const Color& expected, float tolerance) {
    EXPECT_NEAR(actual.r, expected.r, tolerance);
    EXPECT_NEAR(actual.g, expected.g, tolerance);
    EXPECT_NEAR(actual.b, expected.b, tolerance);
    EXPECT_NEAR(actual.a, expected.a, tolerance);
}

xr::ParamValue& param(xr::XraySettings& settings, const std::string& name) {
    const xr::ShaderDeclaration& d = xr::xray_declaration();
    const xr::ParamDeclaration* p = d.find(name);
    if (!p)
        throw std::logic_error("the shader declares no parameter " + name);
    return settings.values[size_t(p - d.params.data())];
}

const xr::ParamValue& param(const xr::XraySettings& settings, const std::string& name) {
    return param(const_cast<xr::XraySettings&>(settings), name);
}
