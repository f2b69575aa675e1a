#include "bench/ray_replay.h"

#include "render/intersector.h"

#include <tbb/blocked_range2d.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <atomic>
#include <chrono>
#include <vector>

using namespace xr;

namespace {

using Tile = std::vector<RecordedRay>;

bool intersect(RTCScene scene, RTCIntersectContext& context, const RecordedRay& r) {
    RTCRayHit query;
    query.ray = make_ray(r.origin, r.direction, r.near, r.far, Intersector::camera);
    query.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    query.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
    rtcIntersect1(scene, &context, &query);
    return query.hit.geomID != RTC_INVALID_GEOMETRY_ID;
}

bool occluded(RTCScene scene, RTCIntersectContext& context, const RecordedRay& r, unsigned mask) {
    RTCRay ray = make_ray(r.origin, r.direction, r.near, r.far, mask);
    rtcOccluded1(scene, &context, &ray);
    return ray.tfar < 0.0f;
}

// One call per ray, shadow rays in `shadows`, the others in `primary`.
uint64_t replay_one_by_one(RTCScene primary, RTCScene shadows, const Tile& rays) {
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    uint64_t hits = 0;
    for (const RecordedRay& r : rays)
        hits += r.kind == RayKind::shadow ? occluded(shadows, context, r, Intersector::shadow)
                                          : intersect(primary, context, r);
    return hits;
}

// Rays of one kind gathered in the order cast, which keeps those of a pixel
// and of a light's samples together, and traced 16 at a time.
class Packets {
  public:
    enum class Query { nearest, any };

    Packets(RTCScene scene, Query query, unsigned mask, bool coherent)
        : scene_(scene), query_(query), mask_(mask) {
        rtcInitIntersectContext(&context_);
        if (coherent)
            context_.flags = RTC_INTERSECT_CONTEXT_FLAG_COHERENT;
    }

    void add(const RecordedRay& r) {
        RTCRay16& ray = packet_.ray;
        ray.org_x[n_] = r.origin.x, ray.org_y[n_] = r.origin.y, ray.org_z[n_] = r.origin.z;
        ray.dir_x[n_] = r.direction.x, ray.dir_y[n_] = r.direction.y;
        ray.dir_z[n_] = r.direction.z;
        ray.tnear[n_] = r.near;
        ray.tfar[n_] = r.far;
        ray.time[n_] = 0.0f;
        ray.mask[n_] = mask_;
        ray.id[n_] = 0;
        ray.flags[n_] = 0;
        packet_.hit.geomID[n_] = RTC_INVALID_GEOMETRY_ID;
        packet_.hit.instID[0][n_] = RTC_INVALID_GEOMETRY_ID;
        if (++n_ == 16)
            flush();
    }

    // Traces what is gathered; the hits so far.
    uint64_t flush() {
        if (n_ == 0)
            return hits_;
        alignas(64) int valid[16]; // Embree reads the mask aligned to its width
        for (int i = 0; i < 16; ++i)
            valid[i] = i < n_ ? -1 : 0;
        if (query_ == Query::nearest) {
            rtcIntersect16(valid, scene_, &context_, &packet_);
            for (int i = 0; i < n_; ++i)
                hits_ += packet_.hit.geomID[i] != RTC_INVALID_GEOMETRY_ID;
        } else {
            rtcOccluded16(valid, scene_, &context_, &packet_.ray);
            for (int i = 0; i < n_; ++i)
                hits_ += packet_.ray.tfar[i] < 0.0f;
        }
        n_ = 0;
        return hits_;
    }

  private:
    RTCScene scene_;
    Query query_;
    unsigned mask_;
    RTCIntersectContext context_;
    alignas(64) RTCRayHit16 packet_;
    int n_ = 0;
    uint64_t hits_ = 0;
};

uint64_t replay_best(const KernelScenes& k, const Tile& rays) {
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    Packets camera(k.scene, Packets::Query::nearest, Intersector::camera, true);
    Packets shadow(k.casters, Packets::Query::any, Intersector::shadow, false);
    uint64_t hits = 0;
    for (const RecordedRay& r : rays) {
        if (r.kind == RayKind::camera)
            camera.add(r);
        else if (r.kind == RayKind::shadow)
            shadow.add(r);
        else
            hits += intersect(k.scene, context, r);
    }
    return hits + camera.flush() + shadow.flush();
}

uint64_t replay_tile(const KernelScenes& k, const Tile& rays, Replay how) {
    switch (how) {
    case Replay::plain:
        return replay_one_by_one(k.masked, k.masked, rays);
    case Replay::renderer_calls:
        return replay_one_by_one(k.scene, k.casters, rays);
    case Replay::best:
        break;
    }
    return replay_best(k, rays);
}

} // namespace

ReplayResult replay(const KernelScenes& scenes, const RayLog& log, int threads, Replay how) {
    const auto start = std::chrono::steady_clock::now();
    std::atomic<uint64_t> hits{0};
    tbb::task_arena arena(threads);
    arena.execute([&] {
        tbb::parallel_for(
            tbb::blocked_range2d<int>(0, log.rows, 1, 0, log.columns, 1),
            [&](const tbb::blocked_range2d<int>& tiles) {
                uint64_t found = 0;
                for (int ty = tiles.rows().begin(); ty < tiles.rows().end(); ++ty)
                    for (int tx = tiles.cols().begin(); tx < tiles.cols().end(); ++tx)
                        found += replay_tile(
                            scenes, log.tiles[size_t(ty) * size_t(log.columns) + size_t(tx)], how);
                hits += found;
            },
            tbb::simple_partitioner());
    });
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return {seconds, hits.load()};
}
