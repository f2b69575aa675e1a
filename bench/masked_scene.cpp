#include "bench/masked_scene.h"

#include <stdexcept>

MaskedScene::MaskedScene(const xr::Scene& scene) {
    device_ = rtcNewDevice(nullptr);
    if (!device_ || !rtcGetDeviceProperty(device_, RTC_DEVICE_PROPERTY_RAY_MASK_SUPPORTED)) {
        rtcReleaseDevice(device_);
        throw std::runtime_error("this Embree cannot keep objects from rays by masks");
    }
    scene_ = rtcNewScene(device_);
    unsigned id = 0;
    for (const xr::Object& object : scene.objects()) {
        RTCGeometry geometry;
        if (object.instance) {
            RTCScene& mesh_scene = mesh_scenes_[object.mesh.get()];
            if (!mesh_scene) {
                mesh_scene = xr::new_mesh_scene(device_, *object.mesh);
                rtcCommitScene(mesh_scene);
            }
            geometry = xr::new_instance_geometry(device_, mesh_scene, object.instance->to_world);
        } else {
            geometry = xr::new_mesh_geometry(device_, *object.mesh);
        }
        rtcSetGeometryMask(geometry, object.casts_shadow()
                                         ? xr::Intersector::camera | xr::Intersector::shadow
                                         : xr::Intersector::camera);
        rtcCommitGeometry(geometry);
        rtcAttachGeometryByID(scene_, geometry, id++);
        rtcReleaseGeometry(geometry);
    }
    rtcCommitScene(scene_);
    if (rtcGetDeviceError(device_) != RTC_ERROR_NONE) {
        release();
        throw std::runtime_error("Embree cannot build the masked scene");
    }
}

MaskedScene::~MaskedScene() {
    release();
}

void MaskedScene::release() {
    rtcReleaseScene(scene_);
    for (const auto& [mesh, mesh_scene] : mesh_scenes_)
        rtcReleaseScene(mesh_scene);
    rtcReleaseDevice(device_);
}
