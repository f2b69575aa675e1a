// Ray queries against the scene's triangles, on Embree.
#pragma once

#include "render/mesh.h"

#include <embree3/rtcore.h>

namespace xr {

struct Hit {
    float distance;
    uint32_t object;
    uint32_t triangle;
    float u, v; // barycentric coordinates within the triangle
};

class Intersector {
  public:
    // Which rays see an object: shadow rays only see those that cast shadows.
    enum Visibility : unsigned { camera = 1u, shadow = 2u };

    Intersector();
    ~Intersector();
    Intersector(const Intersector&) = delete;
    Intersector& operator=(const Intersector&) = delete;

    // Objects are numbered in the order they are added.
    void add(const Mesh& mesh, bool casts_shadow);
    void commit();

    // The nearest surface along the ray within (near, far).
    bool intersect(Vec3 origin, Vec3 direction, float near, float far, Hit& hit) const;
    bool occluded(Vec3 origin, Vec3 direction, float near, float far) const;

  private:
    RTCDevice device_ = nullptr;
    RTCScene scene_ = nullptr;
};

} // namespace xr
