// What a scene asks of one x-ray material: a value, or a procedural connected
// in its place, for each of the shader's declared parameters, and its lights by
// name. The host fills in where the light array starts and how long it is.
#pragma once

#include "render/shader_declaration.h"
#include "render/texture.h"

#include <optional>
#include <string>
#include <vector>

namespace xr {

struct XraySettings {
    // The declared defaults, no connections, no lights.
    XraySettings();

    // Indexed as the declaration lists the parameters.
    std::vector<ParamValue> values;
    std::vector<std::optional<Texture>> textures;
    // By name; every light of the scene when absent.
    std::optional<std::vector<std::string>> lights;
};

// Parameters the host derives from the light list rather than taking from a
// scene: where the used lights start within the array (0), and how many there
// are (all of them).
bool derived_by_host(const ParamDeclaration& param);
int32_t derived_value(const ParamDeclaration& param, size_t lights);

} // namespace xr
