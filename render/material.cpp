#include "render/material.h"

namespace xr {

Material::Material(Vec3 albedo, Tag texture) : albedo_(albedo), albedo_texture_(texture) {
    record_.material = this;
}

Material::Material(XrayBlock block) : block_(std::move(block)) {
    record_.material = this;
    record_.link_offset = block_->link_offset();
}

} // namespace xr
