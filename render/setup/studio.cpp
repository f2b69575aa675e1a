#include "render/setup/studio.h"

#include "render/setup/shapes.h"
#include "render/util/text.h"

#include <algorithm>
#include <cmath>

namespace xr {

namespace {

// The float steps across the least radius the studio is sized to: enough that
// the eye of a camera framing it rounds to a point apart from its target.
constexpr float least_radius_steps = 4.0f;

// The least radius framed anywhere: the ray kernel loses the triangles of
// smaller parts (a sphere of radius 1e-13 shows speckled, of 1e-15 not at all).
constexpr float least_framed_radius = 1e-9f;

// The least radius floats resolve about `center`: they are spaced more widely
// further out.
float least_radius_for_floats(Vec3 center) {
    const float far = std::max({std::fabs(center.x), std::fabs(center.y), std::fabs(center.z)});
    return least_radius_steps * (std::nextafter(far, INFINITY) - far);
}
// The least radius the studio is sized to about `center`.
float least_radius(Vec3 center) {
    return std::max(least_radius_for_floats(center), least_framed_radius);
}

float radius_of(const Bounds& subject) {
    return subject.empty() ? 1.0f : std::max(subject.radius(), least_radius(subject.center()));
}

} // namespace

std::optional<std::string> framing_fault(const Bounds& subject) {
    if (subject.radius() >= least_radius(subject.center()))
        return std::nullopt;
    if (least_radius_for_floats(subject.center()) > least_framed_radius)
        return std::string("too small for their distance from the origin to be framed");
    return "too small to be framed (under " + number_text(least_framed_radius) + " in radius)";
}

std::vector<LightDescription> studio_lights(const Bounds& subject) {
    const Vec3 c = subject.center();
    const float r = radius_of(subject);
    LightDescription key;
    key.name = "key";
    key.kind = Light::Kind::point;
    key.position = c + Vec3{2.0f, 4.0f, 3.0f} * r;
    key.color = {1.0f, 0.94f, 0.86f};
    // A point light's intensity falls with distance squared; an area light's
    // radiance does not, since its area grows with the scene too.
    key.intensity = 40.0f * r * r;

    LightDescription soft;
    soft.name = "soft";
    soft.kind = Light::Kind::rect;
    soft.position = c + Vec3{-2.4f, 3.5f, 0.0f} * r;
    // Straight down; a unit step would vanish in the rounding of a large scene.
    soft.target = soft.position - Vec3{0.0f, r, 0.0f};
    soft.width = soft.height = 1.6f * r;
    soft.color = {0.85f, 0.92f, 1.0f};
    soft.intensity = 4.0f;
    soft.samples = rect_light_samples;
    return {key, soft};
}

std::vector<LightDescription> scene_lights(const SceneDescription& scene, const Bounds& subject) {
    return scene.lights ? *scene.lights : studio_lights(subject);
}

std::vector<std::string> light_names(const SceneDescription& scene) {
    std::vector<std::string> names;
    for (const LightDescription& l : scene_lights(scene, {}))
        names.push_back(l.name);
    return names;
}

void add_floor(Scene& scene, const Bounds& subject) {
    const Vec3 c = subject.center();
    const float r = radius_of(subject);
    Texture tiles;
    tiles.kind = Texture::Kind::checker;
    tiles.a = {0.62f, 0.60f, 0.57f, 1.0f};
    tiles.b = {0.45f, 0.44f, 0.42f, 1.0f};
    tiles.scale = 1.2f / r;
    const Material& floor = scene.add_material(Vec3{}, scene.add_texture(tiles));
    scene.add_object(std::make_shared<Mesh>(ground({c.x, subject.lo.y, c.z}, 60.0f * r)), floor,
                     false);
}

Camera framing(const Bounds& subject, Vec3 from, float fov_y, float aspect) {
    Camera camera;
    camera.fov_y = fov_y;
    camera.target = subject.center();
    // Half the narrower of the view's angles: the height's, unless the image
    // is taller than it is wide.
    const float half_y = radians(fov_y * 0.5f);
    const float half = aspect < 1.0f ? std::atan(std::tan(half_y) * aspect) : half_y;
    const float distance = radius_of(subject) / std::sin(half);
    camera.eye = camera.target + unit_direction(from) * distance;
    return camera;
}

} // namespace xr
