#include "render/material.h"

namespace xr {

Material Material::matte(Vec3 albedo, Tag texture) {
    Material m;
    m.albedo = albedo;
    m.albedo_texture = texture;
    return m;
}

Material Material::xray(const XraySettings& settings) {
    Material m;
    m.kind = Kind::xray;
    m.block = XrayBlock(settings);
    m.record.link_offset = m.block.link_offset();
    return m;
}

} // namespace xr
