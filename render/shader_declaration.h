// The x-ray shader's declaration of its parameters: names, types, offsets in
// the block, defaults and ranges. Every parameter the renderer knows about
// comes from here.
#pragma once

#include "render/util/error.h"
#include <qorv_xraytexture.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace xr {

enum class ParamType { color, scalar, boolean, integer, light_array };

// A parameter's value: a colour uses all four channels, a scalar, integer or
// boolean only the first.
using ParamValue = std::array<float, 4>;

struct ParamDeclaration {
    std::string name;
    ParamType type = ParamType::scalar;
    uint32_t offset = 0; // bytes from the start of the block
    ParamValue default_value{};
    std::optional<float> min, max;       // limits; open when absent
    std::vector<std::string> enum_names; // names of the integer values 0, 1, ...
    bool connectable = false;
    std::string help;

    // The bytes it occupies in the block; the light array counts its first tag.
    uint32_t size() const { return type == ParamType::color ? sizeof(Color) : 4u; }
};

struct ShaderDeclaration {
    std::vector<ParamDeclaration> params; // in block order

    // The parameter of that name, or null.
    const ParamDeclaration* find(const std::string& name) const;
    // The index of the parameter covering byte `offset` of the block, or -1.
    int at_offset(uint32_t offset) const;
    // Offset of the light array, which ends the block.
    uint32_t light_array_offset() const;

    std::vector<int> by_word; // parameter index of each 32-bit word before the light array
};

// Parses a declaration; throws std::runtime_error naming what is wrong.
ShaderDeclaration parse_declaration(const std::string& text);

// The declaration compiled into this program, parsed on first use; its
// colours and highlights' weight bounded as sample_bounds.h says.
const ShaderDeclaration& xray_declaration();

// Throws Error at `where` when `value` is not acceptable for the parameter:
// not finite, out of range (a colour's alpha beyond [0, 1]), not a whole number.
void check_value(const ParamDeclaration& param, const ParamValue& value, const Place& where);

// "[0, inf)", "[0, 2]" and the like, for help texts.
std::string describe_range(const ParamDeclaration& param);

} // namespace xr
