#include "render/intersector.h"

#include <stdexcept>
#include <string>

namespace xr {

namespace {

void remember_error(void* user, RTCError, const char* message) {
    static_cast<Intersector::LastError*>(user)->set(message ? message : "");
}

} // namespace

bool Intersector::count_memory(void* user, ssize_t bytes, bool) {
    auto* self = static_cast<Intersector*>(user);
    const int64_t now = self->bytes_ += bytes;
    int64_t peak = self->peak_bytes_.load();
    while (now > peak && !self->peak_bytes_.compare_exchange_weak(peak, now)) {
    }
    return true;
}

Intersector::Intersector() {
    device_ = rtcNewDevice(nullptr);
    if (!device_)
        throw std::runtime_error("cannot start Embree: " +
                                 std::to_string(int(rtcGetDeviceError(nullptr))));
    rtcSetDeviceErrorFunction(device_, remember_error, &error_);
    rtcSetDeviceMemoryMonitorFunction(device_, count_memory, this);
    if (!rtcGetDeviceProperty(device_, RTC_DEVICE_PROPERTY_RAY_MASK_SUPPORTED)) {
        rtcReleaseDevice(device_);
        throw std::runtime_error("this Embree was built without ray masks, which xray-render "
                                 "needs to let light through x-ray surfaces");
    }
    scene_ = rtcNewScene(device_);
    check("create a scene");
}

Intersector::~Intersector() {
    for (RTCGeometry geometry : shadow_casters_)
        rtcReleaseGeometry(geometry);
    rtcReleaseScene(casters_);
    rtcReleaseScene(scene_);
    rtcReleaseDevice(device_);
}

RTCGeometry new_mesh_geometry(RTCDevice device, const Mesh& mesh) {
    static_assert(sizeof(Vec3) == 3 * sizeof(float), "positions are packed float triples");
    RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
    // A mesh without triangles keeps its number, with nothing for rays to hit.
    if (mesh.triangles() > 0) {
        rtcSetSharedGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                   mesh.positions.data(), 0, sizeof(Vec3), mesh.positions.size());
        rtcSetSharedGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                   mesh.indices.data(), 0, 3 * sizeof(uint32_t), mesh.triangles());
    } else {
        rtcDisableGeometry(geometry);
    }
    return geometry;
}

void Intersector::add(const Mesh& mesh, bool casts_shadow) {
    RTCGeometry geometry = new_mesh_geometry(device_, mesh);
    rtcSetGeometryMask(geometry, casts_shadow ? camera | shadow : camera);
    rtcCommitGeometry(geometry);
    rtcAttachGeometryByID(scene_, geometry, objects_++);
    if (casts_shadow) {
        shadow_casters_.push_back(geometry);
        caster_triangles_ += mesh.triangles();
    } else {
        rtcReleaseGeometry(geometry);
        other_triangles_ += mesh.triangles();
    }
    check("add a mesh");
}

void Intersector::commit() {
    rtcCommitScene(scene_);
    check("build the scene");
    if (other_triangles_ > 0 && caster_triangles_ <= other_triangles_) {
        // The same geometries, and so the same arrays, in a second scene.
        casters_ = rtcNewScene(device_);
        for (RTCGeometry geometry : shadow_casters_)
            rtcAttachGeometry(casters_, geometry);
        rtcCommitScene(casters_);
        check("build the scene of shadow casters");
    }
    for (RTCGeometry geometry : shadow_casters_)
        rtcReleaseGeometry(geometry);
    shadow_casters_.clear();
}

void Intersector::check(const char* what) const {
    if (rtcGetDeviceError(device_) != RTC_ERROR_NONE)
        throw std::runtime_error(std::string("Embree failed to ") + what + ": " + error_.get());
}

} // namespace xr
