// A scene's objects in one Embree scene, the x-ray surfaces kept out of
// shadow rays by ray masks: how the renderer traced shadows before it built a
// scene of the shadow casters alone. The benchmark replays rays against it,
// and the tests check that the casters' scene answers as it does.
#pragma once

#include "render/scene.h"

#include <embree3/rtcore.h>

#include <map>

// Rays see objects by the masks of Intersector::Visibility.
class MaskedScene {
  public:
    // Shares the scene's meshes, which must outlive it. Throws
    // std::runtime_error when Embree cannot build it or has no ray masks.
    explicit MaskedScene(const xr::Scene& scene);
    ~MaskedScene();
    MaskedScene(const MaskedScene&) = delete;
    MaskedScene& operator=(const MaskedScene&) = delete;

    RTCScene scene() const { return scene_; }

  private:
    void release();

    RTCDevice device_ = nullptr;
    RTCScene scene_ = nullptr;
    std::map<const xr::Mesh*, RTCScene> mesh_scenes_; // of the meshes that instances share
};
