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

Intersector::Intersector(const std::string& isa) {
    device_ = rtcNewDevice(isa.empty() ? nullptr : ("isa=" + isa).c_str());
    if (!device_) {
        const RTCError error = rtcGetDeviceError(nullptr);
        if (error == RTC_ERROR_UNSUPPORTED_CPU)
            throw std::runtime_error(isa.empty() ? "Embree does not run on this CPU"
                                                 : "this CPU cannot trace with " + isa);
        throw std::runtime_error(
            "cannot start Embree: " +
            std::string(error == RTC_ERROR_OUT_OF_MEMORY ? "out of memory" : "error") + " (" +
            std::to_string(int(error)) + ")");
    }
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
    for (RTCGeometry geometry : instances_)
        rtcReleaseGeometry(geometry);
    rtcReleaseScene(casters_);
    rtcReleaseScene(scene_);
    for (const auto& [mesh, scene] : mesh_scenes_)
        rtcReleaseScene(scene);
    rtcReleaseDevice(device_);
}

void set_tree_kind(RTCScene scene, size_t triangles) {
    rtcSetSceneBuildQuality(scene, RTC_BUILD_QUALITY_MEDIUM);
    rtcSetSceneFlags(scene,
                     triangles > compact_above ? RTC_SCENE_FLAG_COMPACT : RTC_SCENE_FLAG_NONE);
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

RTCScene new_mesh_scene(RTCDevice device, const Mesh& mesh) {
    RTCScene scene = rtcNewScene(device);
    RTCGeometry geometry = new_mesh_geometry(device, mesh);
    rtcSetGeometryMask(geometry, Intersector::camera | Intersector::shadow);
    rtcCommitGeometry(geometry);
    rtcAttachGeometry(scene, geometry);
    rtcReleaseGeometry(geometry);
    return scene;
}

RTCGeometry new_instance_geometry(RTCDevice device, RTCScene scene, const Affine& to_world) {
    RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_INSTANCE);
    rtcSetGeometryInstancedScene(geometry, scene);
    rtcSetGeometryTransform(geometry, 0, RTC_FORMAT_FLOAT3X4_COLUMN_MAJOR, &to_world);
    return geometry;
}

void Intersector::add(const Mesh& mesh, bool casts_shadow) {
    tree_triangles_ += mesh.triangles();
    RTCGeometry geometry = new_mesh_geometry(device_, mesh);
    rtcSetGeometryMask(geometry, mask(casts_shadow));
    rtcCommitGeometry(geometry);
    attach(geometry, mesh.triangles(), casts_shadow);
    check("add a mesh");
}

void Intersector::add(const Mesh& mesh, const Affine& to_world, bool casts_shadow) {
    RTCScene& scene = mesh_scenes_[&mesh];
    if (!scene) {
        scene = new_mesh_scene(device_, mesh);
        tree_triangles_ += mesh.triangles();
    }
    RTCGeometry geometry = new_instance_geometry(device_, scene, to_world);
    // Ray masks are tested on instances as on meshes: a use that does not
    // cast shadows stays out of shadow rays whatever its mesh's other uses do.
    rtcSetGeometryMask(geometry, mask(casts_shadow));
    // Committed in commit(), after its mesh's scene, as Embree requires.
    rtcRetainGeometry(geometry);
    instances_.push_back(geometry);
    attach(geometry, mesh.triangles(), casts_shadow);
    check("add an instance");
}

void Intersector::attach(RTCGeometry geometry, size_t triangles, bool casts_shadow) {
    rtcAttachGeometryByID(scene_, geometry, objects_++);
    if (casts_shadow) {
        shadow_casters_.push_back(geometry);
        caster_triangles_ += triangles;
    } else {
        rtcReleaseGeometry(geometry);
        other_triangles_ += triangles;
    }
}

void Intersector::commit() {
    for (const auto& [mesh, scene] : mesh_scenes_) {
        set_tree_kind(scene, tree_triangles_);
        rtcCommitScene(scene);
    }
    for (RTCGeometry geometry : instances_) {
        rtcCommitGeometry(geometry);
        rtcReleaseGeometry(geometry);
    }
    instances_.clear();
    check("build the scenes of shared meshes");
    set_tree_kind(scene_, tree_triangles_);
    rtcCommitScene(scene_);
    check("build the scene");
    if (other_triangles_ > 0 && caster_triangles_ <= other_triangles_) {
        // The same geometries, and so the same arrays, in a second scene.
        casters_ = rtcNewScene(device_);
        set_tree_kind(casters_, tree_triangles_);
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
