#include "render/studio.h"

#include <cmath>

namespace xr {

void add_studio(Scene& scene, const Bounds& subject) {
    const Vec3 c = subject.center();
    const float r = std::max(subject.radius(), 1e-3f);

    Texture tiles;
    tiles.kind = Texture::Kind::checker;
    tiles.a = {0.62f, 0.60f, 0.57f, 1.0f};
    tiles.b = {0.45f, 0.44f, 0.42f, 1.0f};
    tiles.scale = 1.2f / r;
    const Tag floor_texture = scene.add_texture(tiles);
    const uint32_t floor = scene.add_material(Material::matte({}, floor_texture));
    scene.add_object(ground({c.x, subject.lo.y, c.z}, 60.0f * r), floor);

    // A point light's intensity falls with distance squared; an area light's
    // radiance does not, since its area grows with the scene too.
    scene.add_light(Light::point(key_light, c + Vec3{2.0f, 4.0f, 3.0f} * r,
                                 Vec3{1.0f, 0.94f, 0.86f} * (40.0f * r * r)));
    const float side = 1.6f * r;
    scene.add_light(Light::rect(soft_light, c + Vec3{-3.2f * r, 3.5f * r, -0.8f * r},
                                {side, 0.0f, 0.0f}, {0.0f, 0.0f, side},
                                Vec3{0.85f, 0.92f, 1.0f} * 4.0f));

    Camera& camera = scene.camera;
    camera.fov_y = 35.0f;
    camera.target = c;
    // The bounding sphere just fits the height of the view.
    const float distance = r / std::sin(camera.fov_y * 0.5f * 3.14159265f / 180.0f);
    camera.eye = c + normalize(Vec3{0.0f, 0.45f, 1.0f}) * distance;
}

} // namespace xr
