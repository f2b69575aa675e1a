// Values as options spell them: numbers, colours, backgrounds, tessellations.
#pragma once

#include "render/environment.h"
#include "render/setup/scene_description.h"

#include <CLI/CLI.hpp>
#include <qorv_xraytexture.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace xr {

// A finite number and nothing else; no value otherwise.
std::optional<float> parse_number(const std::string& text);

// The check of an option that takes a number: a finite one from `min` to
// `max` (which may be infinite), its message naming the range. Every number
// option has it: CLI::Range lets NaN through.
CLI::Validator number_within(float min, float max);

// The check of an option that takes a whole number, from `min` to `max`,
// written in decimal digits alone: its message says so where CLI11's said
// "64.0" was not in the range.
CLI::Validator whole_number_within(int64_t min, int64_t max);

// The check of an option whose empty value is refused, where it would
// otherwise read as the option left out (a shell variable never set renders
// the built-in scene): "an empty NOUN".
CLI::Validator not_empty(const std::string& noun);
// That of an option that names a file.
CLI::Validator a_file_name();

// "r,g,b" or "r,g,b,a", each a finite number; alpha 1 when not given.
std::optional<std::array<float, 4>> parse_color(const std::string& text);

// "studio", "transparent" or a linear "r,g,b", each a number from 0 to max_color.
std::optional<Background> parse_background(const std::string& text);

// "LINEAR,ANGULAR": a length within (0, max_coordinate] and degrees within
// [min_angular_deflection, max_angular_deflection].
std::optional<Tessellation> parse_tessellation(const std::string& text);

} // namespace xr
