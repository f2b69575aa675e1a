// Ray queries against the scene's triangles, on Embree.
#pragma once

#include "render/mesh.h"

#include <embree3/rtcore.h>

#include <atomic>
#include <mutex>
#include <string>

namespace xr {

struct Hit {
    uint32_t object;
    uint32_t triangle;
    float u, v; // barycentric coordinates within the triangle
};

class Intersector {
  public:
    // Which rays see an object: shadow rays only see those that cast shadows.
    enum Visibility : unsigned { camera = 1u, shadow = 2u };

    // Throws std::runtime_error when Embree cannot start, or lacks ray masks.
    Intersector();
    ~Intersector();
    Intersector(const Intersector&) = delete;
    Intersector& operator=(const Intersector&) = delete;

    // Objects are numbered in the order they are added. Embree keeps its own
    // copy of the positions and indices.
    void add(const Mesh& mesh, bool casts_shadow);
    void commit();

    // The nearest surface along the ray within (near, far).
    bool intersect(Vec3 origin, Vec3 direction, float near, float far, Hit& hit) const;
    bool occluded(Vec3 origin, Vec3 direction, float near, float far) const;

    // The most memory Embree has held for this scene at once, in bytes.
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

    RTCDevice device_ = nullptr;
    RTCScene scene_ = nullptr;
    LastError error_;
    std::atomic<int64_t> bytes_{0}, peak_bytes_{0};
};

} // namespace xr
