#include "render/xray_settings.h"

namespace xr {

XraySettings::XraySettings() {
    for (const ParamDeclaration& p : xray_declaration().params)
        values.push_back(p.default_value);
    textures.resize(values.size());
}

bool derived_by_host(const ParamDeclaration& param) {
    return param.name == "i_light" || param.name == "n_light";
}

int32_t derived_value(const ParamDeclaration& param, size_t lights) {
    return param.name == "n_light" ? int32_t(lights) : 0;
}

} // namespace xr
