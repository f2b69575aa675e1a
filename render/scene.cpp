#include "render/scene.h"

namespace xr {

Tag Scene::add_texture(Texture texture) {
    texture.axis = unit_direction(texture.axis);
    textures_.push_back(texture);
    return Tag(textures_.size());
}

Tag Scene::add_light(Light light) {
    light.tag = Tag(lights_.size() + 1);
    lights_.push_back(light);
    return light.tag;
}

uint32_t Scene::add_part(std::string name) {
    part_names_.push_back(std::move(name));
    return uint32_t(part_names_.size());
}

void Scene::add_object(std::shared_ptr<const Mesh> mesh, const Material& material, bool flagged,
                       uint32_t part, const std::optional<Affine>& to_world) {
    std::optional<Instance> instance;
    if (to_world)
        instance.emplace(*to_world);
    objects_.push_back({std::move(mesh), &material, flagged, part, instance});
}

void Scene::commit(const std::string& isa) {
    intersector_ = std::make_unique<Intersector>(isa);
    for (const Object& object : objects_) {
        if (object.instance)
            intersector_->add(*object.mesh, object.instance->to_world, object.casts_shadow());
        else
            intersector_->add(*object.mesh, object.casts_shadow());
    }
    intersector_->commit();
    for (const auto& m : materials_)
        if (m->kind() == Material::Kind::xray)
            largest_block_ = std::max(largest_block_, size_t(m->block().link_offset()));
}

} // namespace xr
