// Everything a render needs to know about the world, built and ready to trace:
// objects and their materials, lights, the host's procedural shaders, the
// camera and the environment.
#pragma once

#include "render/camera.h"
#include "render/environment.h"
#include "render/instance.h"
#include "render/intersector.h"
#include "render/light.h"
#include "render/material.h"
#include "render/texture.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace xr {

// One piece of geometry as the intersector numbers them.
struct Object {
    std::shared_ptr<const Mesh> mesh; // in world space, or in its own for an instance
    const Material* material;
    bool flagged;  // the hit's surface flag
    uint32_t part; // numbered from 1 as the description's parts are listed; 0 for none
    // Where a mesh that other objects share stands; none for a mesh in world space.
    std::optional<Instance> instance;

    // The x-ray shader declines shadow rays: its surfaces let light through.
    bool casts_shadow() const { return material->kind() == Material::Kind::matte; }
};

class Scene {
  public:
    Camera camera;
    Environment environment;

    template <typename... Args> const Material& add_material(Args&&... args) {
        materials_.push_back(std::make_unique<Material>(std::forward<Args>(args)...));
        return *materials_.back();
    }
    // Textures are known to shaders by tag; the first gets tag 1.
    Tag add_texture(Texture texture);
    // Lights too: the first gets tag 1.
    Tag add_light(Light light);
    // Parts are numbered from 1, as the id pass numbers them.
    uint32_t add_part(std::string name);
    // An object whose mesh is in world space, or with `to_world`, one use of
    // a mesh in its own space that other objects may share: the intersector
    // then holds the mesh once and places each use.
    void add_object(std::shared_ptr<const Mesh> mesh, const Material& material, bool flagged,
                    uint32_t part = 0, const std::optional<Affine>& to_world = {});
    // Builds the acceleration structure, traced with the instruction set
    // `isa` (Intersector); the scene is read-only afterwards.
    void commit(const std::string& isa = "");

    const std::vector<Object>& objects() const { return objects_; }
    const std::vector<Light>& lights() const { return lights_; }
    // By id, from 1: the id pass's legend.
    const std::vector<std::string>& part_names() const { return part_names_; }
    const Light* light(Tag tag) const {
        return tag >= 1 && tag <= lights_.size() ? &lights_[tag - 1] : nullptr;
    }
    const Texture* texture(Tag tag) const {
        return tag >= 1 && tag <= textures_.size() ? &textures_[tag - 1] : nullptr;
    }
    const Intersector& intersector() const { return *intersector_; }
    // The largest parameter block of any material, in bytes.
    size_t largest_block() const { return largest_block_; }

  private:
    std::vector<Object> objects_;
    // Stable addresses: shader records point back at their material.
    std::vector<std::unique_ptr<Material>> materials_;
    std::vector<Light> lights_;
    std::vector<Texture> textures_;
    std::vector<std::string> part_names_;
    // After the objects, so that it goes first: it reads their meshes in place.
    std::unique_ptr<Intersector> intersector_;
    size_t largest_block_ = 0;
};

} // namespace xr
