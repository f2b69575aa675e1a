// Everything a render needs to know about the world: objects and their
// materials, lights, the host's procedural shaders, the camera.
#pragma once

#include "render/camera.h"
#include "render/intersector.h"
#include "render/light.h"
#include "render/material.h"
#include "render/texture.h"

#include <memory>
#include <vector>

namespace xr {

struct Object {
    Mesh mesh;
    uint32_t material;
    bool flagged; // the hit's surface flag
};

class Scene {
  public:
    Camera camera;

    uint32_t add_material(Material material);
    // Textures are known to shaders by tag; the first gets tag 1.
    Tag add_texture(const Texture& texture);
    void add_light(const Light& light);
    void add_object(Mesh mesh, uint32_t material, bool flagged = false);
    // Builds the acceleration structure; the scene is read-only afterwards.
    void commit();

    const std::vector<Object>& objects() const { return objects_; }
    const Material& material(uint32_t i) const { return *materials_[i]; }
    const std::vector<Light>& lights() const { return lights_; }
    const Light* light(Tag tag) const;
    const Texture* texture(Tag tag) const;
    const Intersector& intersector() const { return *intersector_; }
    Bounds bounds() const { return bounds_; }
    // How far rays start from the surface they leave, for this scene's size.
    float epsilon() const { return epsilon_; }
    // The largest parameter block of any material, in bytes.
    size_t largest_block() const { return largest_block_; }

  private:
    std::vector<Object> objects_;
    // Stable addresses: shader records point back at their material.
    std::vector<std::unique_ptr<Material>> materials_;
    std::vector<Light> lights_;
    std::vector<Texture> textures_;
    std::unique_ptr<Intersector> intersector_;
    Bounds bounds_;
    float epsilon_ = 1e-4f;
    size_t largest_block_ = 0;
};

} // namespace xr
