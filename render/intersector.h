// Ray queries against the scene's triangles, on Embree.
#pragma once

#include "render/mesh.h"
#include "render/util/affine.h"

#include <embree3/rtcore.h>

#include <atomic>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace xr {

struct Hit {
    uint32_t object;
    uint32_t triangle;
    float u, v; // barycentric coordinates within the triangle
    float t;    // the distance along the ray, in units of its direction
};

// A ray for Embree, seeing the objects whose masks share a bit with `mask`.
inline RTCRay make_ray(Vec3 origin, Vec3 direction, float near, float far, unsigned mask) {
    RTCRay ray;
    ray.org_x = origin.x, ray.org_y = origin.y, ray.org_z = origin.z;
    ray.dir_x = direction.x, ray.dir_y = direction.y, ray.dir_z = direction.z;
    ray.tnear = near;
    ray.tfar = far;
    ray.time = 0.0f;
    ray.mask = mask;
    ray.id = 0;
    ray.flags = 0;
    return ray;
}

// Scenes whose trees hold more triangles than this are built compact: less
// than half the memory and half the build time, for a few per cent of rays a
// second, and hits that may differ in the last bit where triangles meet.
// Smaller scenes keep the trees fastest to trace, and their images.
constexpr size_t compact_above = 1000000;

// Every scene's build quality and flags, for trees that hold `triangles` in
// all (each mesh counted once however many instances use it).
void set_tree_kind(RTCScene scene, size_t triangles);

// A triangle geometry on the mesh's own arrays, which Embree reads in place,
// for the caller to commit and release; disabled when the mesh has no triangles.
RTCGeometry new_mesh_geometry(RTCDevice device, const Mesh& mesh);

// A scene of the mesh alone, seen by every ray (its instances' masks choose),
// for instances to place; for the caller to commit before them, and release.
RTCScene new_mesh_scene(RTCDevice device, const Mesh& mesh);

// An instance of the scene, placed by `to_world`, for the caller to commit
// once the scene is, and release.
RTCGeometry new_instance_geometry(RTCDevice device, RTCScene scene, const Affine& to_world);

// Shadow rays must not see the x-ray surfaces. Where those hold at least as
// many triangles as the rest, the shadow casters get a scene of their own,
// beside the full one and on the same arrays: shadow rays then walk a tree
// whatever the size of the x-ray meshes, for at most half again the memory of
// the full tree. Otherwise ray masks keep shadow rays off the x-ray surfaces in
// the full scene, where they are few, and no second tree is built.
//
// A mesh used more than once is held once: it gets a scene of its own, built
// once, and each use is an Embree instance of it (one level) with its own
// place, mask and object number, in whichever scenes its use belongs to.
//
// The queries are inline: every ray of a frame goes through one.
class Intersector {
  public:
    // Which rays see an object: shadow rays only see those that cast shadows.
    enum Visibility : unsigned { camera = 1u, shadow = 2u };

    // Traces with `isa`, one of the instruction_sets (render_settings.h), or when empty the widest
    // the CPU has. Throws std::runtime_error when Embree cannot start (this
    // CPU lacks `isa`), or lacks ray masks.
    explicit Intersector(const std::string& isa = "");
    ~Intersector();
    Intersector(const Intersector&) = delete;
    Intersector& operator=(const Intersector&) = delete;

    // Objects are numbered in the order they are added. Embree reads the
    // mesh's positions and indices where they are: the mesh must stay
    // unchanged for as long as the intersector lives.
    void add(const Mesh& mesh, bool casts_shadow);
    // One use of a mesh in its own space, standing where `to_world` puts it.
    // Every use of the same mesh (the same object in memory) shares one tree.
    void add(const Mesh& mesh, const Affine& to_world, bool casts_shadow);
    void commit();

    // The nearest surface along the ray within (near, far).
    bool intersect(Vec3 origin, Vec3 direction, float near, float far, Hit& hit) const {
        RTCIntersectContext context;
        rtcInitIntersectContext(&context);
        RTCRayHit query;
        query.ray = make_ray(origin, direction, near, far, camera);
        query.hit.geomID = RTC_INVALID_GEOMETRY_ID;
        query.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
        rtcIntersect1(scene_, &context, &query);
        if (query.hit.geomID == RTC_INVALID_GEOMETRY_ID)
            return false;
        // Within an instance, geomID is the mesh's number in its own scene;
        // the object is the instance's number.
        const unsigned object =
            query.hit.instID[0] != RTC_INVALID_GEOMETRY_ID ? query.hit.instID[0] : query.hit.geomID;
        hit = {object, query.hit.primID, query.hit.u, query.hit.v, query.ray.tfar};
        return true;
    }
    // Whether a surface that casts shadows lies along the ray within (near, far).
    bool occluded(Vec3 origin, Vec3 direction, float near, float far) const {
        RTCIntersectContext context;
        rtcInitIntersectContext(&context);
        RTCRay ray = make_ray(origin, direction, near, far, shadow);
        rtcOccluded1(shadow_scene(), &context, &ray);
        // Embree marks a blocked ray by setting its far end to -inf.
        return ray.tfar < 0.0f;
    }

    // Embree's scenes: every object, and the one shadow rays walk, with the
    // mask `shadow`: the casters' own, or the full one again.
    RTCScene scene() const { return scene_; }
    RTCScene shadow_scene() const { return casters_ ? casters_ : scene_; }

    // The most memory Embree has held for these scenes at once, in bytes.
    size_t memory() const { return peak_bytes_.load(); }

    // The text of Embree's last error, as its callback gives it from any thread.
    class LastError {
      public:
        void set(std::string text) {
            std::lock_guard<std::mutex> lock(mutex_);
            text_ = std::move(text);
        }
        std::string get() const {
            std::lock_guard<std::mutex> lock(mutex_);
            return text_;
        }

      private:
        mutable std::mutex mutex_;
        std::string text_;
    };

  private:
    // Embree's account of what it allocates (positive) and frees (negative).
    static bool count_memory(void* user, ssize_t bytes, bool post);
    // Throws with Embree's own message when the last call failed.
    void check(const char* what) const;
    static unsigned mask(bool casts_shadow) { return casts_shadow ? camera | shadow : camera; }
    // Numbers the geometry as the next object and takes over the caller's reference.
    void attach(RTCGeometry geometry, size_t triangles, bool casts_shadow);

    RTCDevice device_ = nullptr;
    RTCScene scene_ = nullptr;
    RTCScene casters_ = nullptr; // null unless they get a scene of their own
    // The geometries that cast shadows, held until commit knows whether they
    // get a scene of their own.
    std::vector<RTCGeometry> shadow_casters_;
    // The scene of each mesh used by instances, built in commit; and the
    // instances, committed there once their meshes' scenes are.
    std::unordered_map<const Mesh*, RTCScene> mesh_scenes_;
    std::vector<RTCGeometry> instances_;
    unsigned objects_ = 0;
    size_t caster_triangles_ = 0, other_triangles_ = 0;
    size_t tree_triangles_ = 0; // each mesh once, however many use it
    LastError error_;
    std::atomic<int64_t> bytes_{0}, peak_bytes_{0};
};

} // namespace xr
