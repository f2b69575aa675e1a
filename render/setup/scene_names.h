// The names a scene file gives to kinds of things, indexed by their enums.
#pragma once

#include <vector>

namespace xr {

inline const char* const shape_names[] = {"sphere", "box", "torus"};
inline const char* const texture_names[] = {"constant", "checker", "stripes"};
// The keys each kind takes beside those every shape or texture does, indexed
// as the names: a key of another kind is refused rather than ignored. A
// constant texture lets `b` and `scale` pass unused: scenes saved before
// 2.1.0 wrote them for every texture.
inline const std::vector<const char*> shape_keys[] = {
    {"radius"}, {"size"}, {"radius", "thickness"}};
inline const std::vector<const char*> texture_keys[] = {
    {"b", "scale"}, {"b", "scale"}, {"b", "scale", "axis"}};
inline const char* const light_kinds[] = {"point", "rect"};
// The backgrounds that have a name; the third kind is a colour.
inline const char* const background_names[] = {"studio", "transparent"};

} // namespace xr
