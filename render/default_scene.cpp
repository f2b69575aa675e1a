#include "render/default_scene.h"

#include "render/studio.h"

namespace xr {

namespace {

void add_shell_and_contents(Scene& scene, XraySettings shell) {
    const Vec3 center{0.0f, 1.2f, 0.0f};
    // Flagged contents show through the shell untouched.
    shell.skip_flagged = true;
    shell.lights = {key_light, soft_light};
    scene.add_object(sphere(center, 1.2f), scene.add_material(Material::xray(shell)));

    XraySettings cube;
    cube.color = {1.0f, 0.55f, 0.15f, 1.0f};
    cube.power = 1.2f;
    cube.lights = {key_light, soft_light};
    scene.add_object(box(center + Vec3{-0.75f, -0.45f, -0.35f}, center + Vec3{0.05f, 0.35f, 0.45f}),
                     scene.add_material(Material::xray(cube)));
    scene.add_object(sphere(center + Vec3{-0.35f, -0.05f, 0.05f}, 0.22f),
                     scene.add_material(Material::matte({0.9f, 0.75f, 0.2f})));

    scene.add_object(torus(center + Vec3{0.35f, 0.45f, -0.2f}, 0.38f, 0.1f),
                     scene.add_material(Material::matte({0.75f, 0.75f, 0.78f})));
    scene.add_object(sphere(center + Vec3{0.5f, -0.5f, 0.35f}, 0.3f),
                     scene.add_material(Material::matte({0.2f, 0.8f, 0.3f})), true);
}

void add_striped_torus(Scene& scene) {
    XraySettings ring;
    ring.power = 1.5f;
    ring.lights = {key_light, soft_light};
    Texture stripes;
    stripes.kind = Texture::Kind::stripes;
    stripes.a = {1.0f, 0.25f, 0.45f, 1.0f};
    stripes.b = {0.95f, 0.92f, 0.85f, 1.0f};
    stripes.axis = normalize(Vec3{1.0f, 0.0f, 1.0f});
    stripes.scale = 6.0f;
    Material material = Material::xray(ring);
    material.block.connect(&material.block.params()->color, scene.add_texture(stripes));
    scene.add_object(torus({2.3f, 0.3f, 0.6f}, 0.65f, 0.3f),
                     scene.add_material(std::move(material)));
}

void add_softly_lit_sphere(Scene& scene) {
    XraySettings glass;
    glass.color = {0.3f, 1.0f, 0.55f, 1.0f};
    glass.invert = true;
    glass.power = 1.5f;
    // Everything but the key light: the highlight is the area light's alone.
    glass.mode = 2;
    glass.lights = {key_light};
    scene.add_object(sphere({-2.3f, 0.75f, 0.6f}, 0.75f),
                     scene.add_material(Material::xray(glass)));
}

} // namespace

Scene default_scene(const XraySettings& shell) {
    Scene scene;
    add_shell_and_contents(scene, shell);
    add_striped_torus(scene);
    add_softly_lit_sphere(scene);
    Bounds subject;
    subject.extend({-3.1f, 0.0f, -1.0f});
    subject.extend({3.1f, 2.4f, 1.4f});
    add_studio(scene, subject);
    // Closer than the studio's framing: the row of objects fills the width.
    scene.camera.eye = {0.0f, 3.3f, 6.6f};
    scene.camera.target = {0.0f, 0.8f, 0.3f};
    scene.camera.fov_y = 36.0f;
    scene.commit();
    return scene;
}

} // namespace xr
