// Materials: the host's own matte surface, or the x-ray shader from the library.
#pragma once

#include "render/host_records.h"
#include "render/vec.h"
#include "render/xray_block.h"

namespace xr {

struct Material {
    enum class Kind { matte, xray };

    Kind kind = Kind::matte;
    Vec3 albedo{0.7f, 0.7f, 0.7f};
    Tag albedo_texture = 0; // a host shader replacing `albedo`; 0 for none
    XrayBlock block{XraySettings{}};
    HostShaderRecord record{};

    static Material matte(Vec3 albedo, Tag texture = 0);
    static Material xray(const XraySettings& settings);
};

} // namespace xr
