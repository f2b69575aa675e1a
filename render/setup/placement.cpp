#include "render/setup/placement.h"

#include "render/util/text.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace xr {

namespace {

struct Rows {
    Vec3 x, y, z;
};

Rows multiply(const Rows& a, const Rows& b) {
    const Vec3 c0{b.x.x, b.y.x, b.z.x}, c1{b.x.y, b.y.y, b.z.y}, c2{b.x.z, b.y.z, b.z.z};
    return {{dot(a.x, c0), dot(a.x, c1), dot(a.x, c2)},
            {dot(a.y, c0), dot(a.y, c1), dot(a.y, c2)},
            {dot(a.z, c0), dot(a.z, c1), dot(a.z, c2)}};
}

// False for NaN too.
bool within_bounds(Vec3 p) {
    return std::fabs(p.x) <= max_coordinate && std::fabs(p.y) <= max_coordinate &&
           std::fabs(p.z) <= max_coordinate;
}

[[noreturn]] void refuse_vertex(const std::string& model) {
    throw std::runtime_error(model + " has a vertex beyond ±" + number_text(max_coordinate) +
                             " or not a finite number, once placed");
}

} // namespace

void check_placed_vertex(Vec3 p, const std::string& model) {
    if (!within_bounds(p))
        refuse_vertex(model);
}

Vec3 checked_vec3(double x, double y, double z, const std::string& model) {
    // Checked in double before the cast, which is undefined beyond a float's range.
    for (double v : {x, y, z})
        if (!(std::fabs(v) <= double(max_coordinate)))
            refuse_vertex(model);
    return {float(x), float(y), float(z)};
}

void check_placed_instance(const Bounds& mesh, const Affine& to_world, const std::string& model) {
    const Bounds placed = map_bounds(to_world, mesh);
    check_placed_vertex(placed.lo, model);
    check_placed_vertex(placed.hi, model);
}

bool instanceable(const Affine& to_world) {
    // Embree refuses a ray whose origin, taken into an instance's space, lies
    // beyond about 1.8e18 in a coordinate. Origins lie within the camera's
    // bound; the map's translation is taken off before the inverse applies.
    constexpr float embree_reach = 1e18f;
    if (!to_world.invertible())
        return false;
    const Vec3 t = to_world.translation;
    const float reach =
        max_camera_coordinate + std::max({std::fabs(t.x), std::fabs(t.y), std::fabs(t.z)});
    const Vec3 rows = to_world.linear.inverse().magnitudes()({1.0f, 1.0f, 1.0f});
    return std::max({rows.x, rows.y, rows.z}) * reach <= embree_reach;
}

Placement::Placement(const Transform& t) : scale_(t.scale), translate_(t.translate) {
    const Vec3 a{radians(t.rotate.x), radians(t.rotate.y), radians(t.rotate.z)};
    const float cx = std::cos(a.x), sx = std::sin(a.x);
    const float cy = std::cos(a.y), sy = std::sin(a.y);
    const float cz = std::cos(a.z), sz = std::sin(a.z);
    const Rows rx{{1, 0, 0}, {0, cx, -sx}, {0, sx, cx}};
    const Rows ry{{cy, 0, sy}, {0, 1, 0}, {-sy, 0, cy}};
    const Rows rz{{cz, -sz, 0}, {sz, cz, 0}, {0, 0, 1}};
    // About x first, then y, then z.
    const Rows r = multiply(rz, multiply(ry, rx));
    x_ = r.x, y_ = r.y, z_ = r.z;
}

Affine Placement::affine() const {
    return {{Vec3{x_.x, y_.x, z_.x} * scale_, Vec3{x_.y, y_.y, z_.y} * scale_,
             Vec3{x_.z, y_.z, z_.z} * scale_},
            translate_};
}

} // namespace xr
