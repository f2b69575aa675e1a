// Values as options spell them: numbers, colours, backgrounds, tessellations.
#pragma once

#include "render/environment.h"
#include "render/setup/scene_description.h"

#include <qorv_xraytexture.h>

#include <array>
#include <optional>
#include <string>

namespace xr {

// A finite number and nothing else; no value otherwise.
std::optional<float> parse_number(const std::string& text);

// Frames a second of a video: a finite number above 0; no value otherwise.
std::optional<double> parse_fps(const std::string& text);

// "r,g,b" or "r,g,b,a", each a finite number; alpha 1 when not given.
std::optional<std::array<float, 4>> parse_color(const std::string& text);

// "studio", "transparent" or a linear "r,g,b", each a finite number, none negative.
std::optional<Background> parse_background(const std::string& text);

// "LINEAR,ANGULAR": a length within (0, max_coordinate] and degrees within
// (0, max_angular_deflection].
std::optional<Tessellation> parse_tessellation(const std::string& text);

} // namespace xr
