#include "render/scene.h"

namespace xr {

uint32_t Scene::add_material(Material material) {
    materials_.push_back(std::make_unique<Material>(std::move(material)));
    Material& m = *materials_.back();
    m.record.material = &m;
    return uint32_t(materials_.size() - 1);
}

Tag Scene::add_texture(const Texture& texture) {
    textures_.push_back(texture);
    return Tag(textures_.size());
}

void Scene::add_light(const Light& light) {
    lights_.push_back(light);
}

void Scene::add_object(Mesh mesh, uint32_t material, bool flagged) {
    objects_.push_back({std::move(mesh), material, flagged});
}

void Scene::commit() {
    intersector_ = std::make_unique<Intersector>();
    for (const Object& object : objects_) {
        // The x-ray shader declines shadow rays: its surfaces let light through.
        const bool casts_shadow = material(object.material).kind == Material::Kind::matte;
        intersector_->add(object.mesh, casts_shadow);
        const Bounds b = object.mesh.bounds();
        bounds_.extend(b.lo);
        bounds_.extend(b.hi);
    }
    intersector_->commit();
    epsilon_ = bounds_.empty() ? 1e-4f : std::max(1e-5f * bounds_.radius(), 1e-6f);
    for (const auto& m : materials_)
        largest_block_ = std::max(largest_block_, size_t(m->block.link_offset()));
}

const Light* Scene::light(Tag tag) const {
    for (const Light& l : lights_)
        if (l.tag == tag)
            return &l;
    return nullptr;
}

const Texture* Scene::texture(Tag tag) const {
    return tag >= 1 && tag <= textures_.size() ? &textures_[tag - 1] : nullptr;
}

} // namespace xr
