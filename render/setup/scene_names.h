// The names a scene file gives to kinds of things, indexed by their enums.
#pragma once

namespace xr {

inline const char* const shape_names[] = {"sphere", "box", "torus"};
inline const char* const texture_names[] = {"constant", "checker", "stripes"};
inline const char* const light_kinds[] = {"point", "rect"};
// The backgrounds that have a name; the third kind is a colour.
inline const char* const background_names[] = {"studio", "transparent"};

} // namespace xr
