#include "render/util/affine.h"

#include <cmath>

namespace xr {

namespace {

Vec3 abs(Vec3 a) {
    return {std::fabs(a.x), std::fabs(a.y), std::fabs(a.z)};
}

} // namespace

Linear Linear::magnitudes() const {
    return {abs(x), abs(y), abs(z)};
}

Linear Linear::inverse() const {
    const float det = determinant();
    if (!(det != 0.0f && std::isfinite(det)))
        return {{}, {}, {}};
    // The rows of the inverse are the columns' cross products over the determinant.
    const Linear rows{cross(y, z) / det, cross(z, x) / det, cross(x, y) / det};
    return rows.transpose();
}

Linear Linear::transpose() const {
    return {{x.x, y.x, z.x}, {x.y, y.y, z.y}, {x.z, y.z, z.z}};
}

bool Affine::invertible() const {
    const float det = linear.determinant();
    return finite(linear.x) && finite(linear.y) && finite(linear.z) && finite(translation) &&
           det != 0.0f && std::isfinite(det);
}

Affine operator*(const Affine& a, const Affine& b) {
    return {{a.linear(b.linear.x), a.linear(b.linear.y), a.linear(b.linear.z)},
            a.point(b.translation)};
}

Bounds map_bounds(const Affine& map, const Bounds& box) {
    Bounds mapped;
    if (box.empty())
        return mapped;
    for (int corner = 0; corner < 8; ++corner)
        mapped.extend(map.point({corner & 1 ? box.hi.x : box.lo.x, corner & 2 ? box.hi.y : box.lo.y,
                                 corner & 4 ? box.hi.z : box.lo.z}));
    return mapped;
}

} // namespace xr
