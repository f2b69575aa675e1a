#include "render/xray_settings.h"

#include <stdexcept>

namespace xr {

namespace {

size_t index_of(const std::string& name) {
    const ShaderDeclaration& d = xray_declaration();
    const ParamDeclaration* p = d.find(name);
    if (!p)
        throw std::logic_error("the shader declares no parameter " + name);
    return size_t(p - d.params.data());
}

} // namespace

XraySettings::XraySettings() {
    for (const ParamDeclaration& p : xray_declaration().params)
        values.push_back(p.default_value);
    textures.resize(values.size());
}

ParamValue& XraySettings::operator[](const std::string& name) {
    return values[index_of(name)];
}

const ParamValue& XraySettings::operator[](const std::string& name) const {
    return values[index_of(name)];
}

bool derived_by_host(const ParamDeclaration& param) {
    return param.name == "i_light" || param.name == "n_light";
}

int32_t derived_value(const ParamDeclaration& param, size_t lights) {
    return param.name == "n_light" ? int32_t(lights) : 0;
}

} // namespace xr
